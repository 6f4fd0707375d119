#include "setup/tui/package_menu.h"

bool package_menu_run(package_list& list)
{
    (void)list;
    return false;
}

bool remote_requested(const package_list& list)
{
    return list.remote;
}
