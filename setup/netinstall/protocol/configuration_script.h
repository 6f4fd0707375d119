#pragma once

#include <cstdint>
#include <string>

#include "setup/netinstall/wire/conversation.h"

// The script a freshly installed router runs at its first start: it sets the address of the
// Ethernet interface it was installed through (named by `mac`), the default route and the serial
// console speed. Addresses are in network byte order; a value of 0 leaves its lines out.
std::string build_configuration(const mac_address& mac, uint32_t address, unsigned long prefix_bits,
                                uint32_t gateway, unsigned long baud_rate);
