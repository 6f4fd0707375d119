#include "setup/flows/remote_router_installation.h"

#include <string>
#include <vector>

#include "setup/flows/router_selection.h"
#include "setup/netinstall/roles/install_server.h"
#include "setup/support/process_runner.h"
#include "setup/tui/install_order.h"

bool remote_router_installation(setup_context&, package_list& list)
{
    // A machine booted from the CD has not needed its network card so far; once is enough.
    static bool modules_loaded = false;
    if (!modules_loaded) {
        load_modules(network_modules);
        modules_loaded = true;
    }
    install_server server;
    server_init(server);
    bool installed = true;
    while (select_router(server)) {
        install_order order;
        install_order_init(order, list);
        std::vector<std::string> paths;
        std::string path;
        while (install_order_next(order, path))
            paths.push_back(path);
        bool any_marked = false;
        for (const router_entry& router : server.routers)
            any_marked = any_marked || router.marked;
        if (!any_marked) {
            installed = install_selected_router(server, paths);
            break;
        }
        batch_outcome outcome = install_marked_routers(server, paths);
        if (outcome != batch_outcome::back) {
            installed = outcome == batch_outcome::installed;
            break;
        }
    }
    server_release(server);
    return installed;
}
