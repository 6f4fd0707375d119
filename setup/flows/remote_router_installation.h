#pragma once

#include "setup/flows/setup_context.h"
#include "setup/tui/package_list.h"

// The server's flow, asked for from the package menu: lists the routers on the network and installs
// the selected packages on the one the user picks. True unless an installation was started and
// failed; the menu is shown again either way.
bool remote_router_installation(setup_context& context, package_list& list);
