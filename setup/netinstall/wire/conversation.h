#pragma once

// One conversation between an installation server and a router: the 20-byte header in front of
// every datagram, and the sequence state each side keeps for its peer. A conversation is a plain
// value owned by the client or server state that runs it; the header helpers read and write message
// buffers owned by their callers.

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t HEADER_SIZE = 20;
constexpr size_t MAX_DATAGRAM = 4096;
constexpr size_t MAX_PAYLOAD = MAX_DATAGRAM - HEADER_SIZE;
constexpr uint16_t INSTALL_PORT = 5000;

constexpr uint8_t FLAG_ACK = 0x1;
constexpr uint8_t KIND_CONTROL = 0;
constexpr uint8_t KIND_DATA = 1;

using mac_address = std::array<uint8_t, 6>;
constexpr mac_address NO_MAC{};

struct conversation {
    uint16_t own_sequence = 1;   // of the next message this side sends
    uint16_t peer_sequence = 0;  // of the last message accepted from the peer
    mac_address own_mac{};
    mac_address peer_mac{};      // NO_MAC until the peer is chosen
};

// The header fields of a received datagram, read field by field.
struct message_header {
    mac_address source{};
    mac_address destination{};
    uint8_t flags = 0;
    uint8_t kind = 0;
    uint16_t length = 0;
    uint16_t sequence = 0;
    uint16_t acknowledgement = 0;
};

message_header read_header(const uint8_t* message);

void conversation_init(conversation& conv);
void conversation_restart(conversation& conv);

// Fills the first 20 bytes of `message`; the sequence counters are left alone.
void build_header(const conversation& conv, uint8_t* message, uint16_t payload_length, bool with_ack,
                  uint8_t kind);

// Sequence numbers are compared as serial numbers modulo 2^16, so a conversation may run past 65,535
// messages; true when `a` lies after `b`.
bool sequence_after(uint16_t a, uint16_t b);

// True when the datagram of `length` bytes belongs to this conversation and is the next one in
// sequence (or a pure acknowledgement); the peer sequence then moves to it.
bool accept_message(conversation& conv, const uint8_t* message, size_t length);

// True when the datagram is addressed to us by our peer and repeats the message accepted last: its
// sender missed our acknowledgement.
bool repeats_last_message(const conversation& conv, const uint8_t* message, size_t length);
