#include <string>
#include <vector>

#include "setup/flows/floppy_installation.h"
#include "setup/netinstall/roles/install_server.h"
#include "setup/flows/router_selection.h"
#include "setup/tui/install_order.h"

bool install_remote_router(setup_context&, package_list& list)
{
    install_server server;
    server_init(server);
    bool installed = true;
    if (select_router(server)) {
        install_order order;
        install_order_init(order, list);
        std::vector<std::string> paths;
        std::string path;
        while (install_order_next(order, path))
            paths.push_back(path);
        installed = run_remote_installation(server, paths);
    }
    server_release(server);
    return installed;
}
