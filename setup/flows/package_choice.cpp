#include "setup/flows/package_choice.h"

#include <cstdio>

#include "setup/tui/package_menu.h"

namespace {

// Installing other routers over the network comes with the network installation; until then the
// request is answered and the user chooses again.
bool install_remote_router(setup_context& context, package_list& list)
{
    (void)context;
    (void)list;
    std::puts("Remote installation is not available in this build");
    std::fflush(stdout);
    return true;
}

}  // namespace

bool choose_packages(setup_context& context, package_list& list, bool remote_failure_ends_flow)
{
    for (;;) {
        if (!package_menu_run(list)) {
            std::puts("Installation canceled");
            return false;
        }
        if (!remote_requested(list))
            return true;
        if (!install_remote_router(context, list) && remote_failure_ends_flow)
            return false;
    }
}
