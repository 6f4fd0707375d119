#pragma once

// The full-screen package selection menu over a loaded package_list.

#include "setup/tui/package_list.h"

// Shows the menu until the user decides: false means cancel, true means install (here, or on a
// remote router when remote_requested says so).
bool package_menu_run(package_list& list);
bool remote_requested(const package_list& list);
