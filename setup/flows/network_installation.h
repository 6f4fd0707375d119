#pragma once

#include "setup/flows/setup_context.h"

// The router's (client's) flow: announces this machine on the network, lets a server decide,
// prepares the target disk and installs what the server sends. True when the software was
// installed; the flow reports its own failures.
bool network_installation(setup_context& context);
