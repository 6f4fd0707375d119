#pragma once

// The Ethernet interfaces a network role talks on. An interface_set owns one net_endpoint per
// usable interface, each with its own UDP socket bound to that interface; the client and server
// states of the installation protocol each own one set and close it when the role ends.

#include <cstddef>
#include <netinet/in.h>
#include <vector>

#include "setup/netinstall/wire/conversation.h"

struct net_endpoint {
    mac_address mac{};
    int socket = -1;
    sockaddr_in destination{};  // the broadcast address and our port
    sockaddr_in source{};       // sender of the datagram received last
};

struct interface_set {
    std::vector<net_endpoint> endpoints;
};

// Opens every interface with a hardware address; none when the scan itself fails.
void open_interfaces(interface_set& set);
void close_interfaces(interface_set& set);
bool has_interfaces(const interface_set& set);
// The MAC of endpoint `index` as "AA:BB:CC:DD:EE:FF" in a buffer the next call overwrites; null
// when there is no such endpoint.
const char* interface_mac_text(const interface_set& set, size_t index);
// The same form for any address, into a buffer of at least 18 bytes.
void format_mac(const mac_address& mac, char* out);

bool open_endpoint(net_endpoint& endpoint, const char* interface_name, uint16_t port);
