#include "setup/netinstall/roles/install_server.h"

void server_init(install_server& server)
{
    conversation_init(server.conv);
    server.routers.clear();
    server.has_current = false;
    server.current = 0;
    open_interfaces(server.interfaces);
}

void server_release(install_server& server)
{
    close_interfaces(server.interfaces);
    server.routers.clear();
    server.has_current = false;
}
