#pragma once

#include "setup/flows/setup_context.h"
#include "setup/tui/package_list.h"

// The menu loop of the flows that let the user choose packages: shows the package menu until the
// user either installs here (true, the selection is in the list) or cancels (false, after
// "Installation canceled"). A request to install a remote router is served and the menu shown
// again; with `remote_failure_ends_flow` a remote installation that fails ends the loop with false.
bool choose_packages(setup_context& context, package_list& list, bool remote_failure_ends_flow);
