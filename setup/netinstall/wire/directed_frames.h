#pragma once

// Our datagrams in Ethernet frames addressed to one station. The protocol's datagrams go to the IP
// broadcast address, and a switch floods broadcast frames to every port: with several routers
// installed at once each router's link would carry every router's data. The same datagram (same IP
// and UDP headers and payload) in a frame addressed to the router's own MAC reaches only its port,
// and its UDP socket takes it like any other.

#include <cstddef>
#include <cstdint>

#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/network_interfaces.h"

struct frame_sender {
    int socket = -1;
    int interface_index = 0;
};

// False when frames can't be sent on the endpoint's interface (callers then broadcast).
bool open_frame_sender(frame_sender& sender, const net_endpoint& endpoint);
void close_frame_sender(frame_sender& sender);
// Sends the datagram to `station`, or broadcasts it on `endpoint` when it does not fit one frame or
// no frame sender is open. The length sent, or -1.
long send_directed(frame_sender& sender, net_endpoint& endpoint, const mac_address& station, const uint8_t* bytes,
                   size_t length);
// A pure acknowledgement of the peer's last message, sent once in a frame to the peer.
bool acknowledge_directed(frame_sender& sender, net_endpoint& endpoint, const conversation& conv);
