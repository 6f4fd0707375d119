#pragma once

// The server's side of one installation: offer, wait for the router's disk, send every package
// file and then the configuration script, and end with the TERM exchange.

#include <string>
#include <vector>

#include "setup/netinstall/roles/install_server.h"

// `paths` are the package files in install order; an empty `configuration` is sent as an empty
// script. True when every package and the script went across.
bool run_server_session(install_server& server, const router_entry& router,
                        const std::vector<std::string>& paths, bool keep, const std::string& configuration);
