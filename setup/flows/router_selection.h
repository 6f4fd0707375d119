#pragma once

// The server role's screens: the list of routers that announce themselves, and the questions on how
// the chosen one is to be configured.

#include <string>
#include <vector>

#include "setup/netinstall/roles/install_server.h"

// Shows the router list until the user picks one with Enter (true, it is the current entry, or the
// marked ones when there are any) or leaves with "q" (false).
bool select_router(install_server& server);

// Asks the questions for the current router, builds its script and installs `paths` on it.
bool install_selected_router(install_server& server, const std::vector<std::string>& paths);

enum class batch_outcome { installed, failed, back };

// Asks the questions once for every marked router, shows the plan and installs `paths` on all of
// them at once; `back` when the user did not want the plan.
batch_outcome install_marked_routers(install_server& server, const std::vector<std::string>& paths);
