#pragma once

// The installation server's state: its interfaces, the one conversation with the router being
// installed, and the routers heard so far. The flows create an install_server when the user asks
// to install a remote router and release it when that installation has ended; the list only grows
// meanwhile.

#include <cstddef>
#include <deque>
#include <string>

#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/network_interfaces.h"

struct router_entry {
    size_t endpoint = 0;  // index of the interface its announcement came in on
    mac_address mac{};
    std::string reserved_first;
    std::string reserved_second;
    std::string label;    // printable: what a terminal would act on is already gone
    bool marked = false;  // to be installed with the other marked routers
};

struct install_server {
    interface_set interfaces;
    conversation conv;
    std::deque<router_entry> routers;  // most recently heard first
    bool has_current = false;
    size_t current = 0;                // index into routers while has_current
};

void server_init(install_server& server);
void server_release(install_server& server);
