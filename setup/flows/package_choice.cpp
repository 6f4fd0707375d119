#include "setup/flows/package_choice.h"

#include <cstdio>

#include "setup/flows/remote_router_installation.h"
#include "setup/tui/package_menu.h"

bool choose_packages(setup_context& context, package_list& list, bool remote_failure_ends_flow)
{
    for (;;) {
        if (!package_menu_run(list)) {
            std::puts("Installation canceled");
            return false;
        }
        if (!remote_requested(list))
            return true;
        if (!remote_router_installation(context, list) && remote_failure_ends_flow)
            return false;
    }
}
