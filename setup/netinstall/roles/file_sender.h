#pragma once

// Sends one file to the router: its FILE announcement, then its data in acknowledged blocks, one in
// flight at a time, each repeated with a growing wait when its acknowledgement doesn't come.

#include <cstdint>
#include <string>

#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/network_interfaces.h"

// A package file from disk; reports its own failures.
bool send_file(net_endpoint& endpoint, conversation& conv, const std::string& path);
// The configuration script from memory, as the file "autorun.scr".
bool send_text(net_endpoint& endpoint, conversation& conv, const std::string& text);
