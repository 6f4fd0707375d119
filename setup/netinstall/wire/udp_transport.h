#pragma once

// Sending and waiting for the datagrams of one conversation on one endpoint.

#include <cstddef>
#include <cstdint>

#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/network_interfaces.h"

constexpr int64_t ONE_SECOND_US = 1000000;

// Microseconds on a clock that only moves forward, or 0 when it can't be read.
int64_t now_us();

// Results of wait_datagram_or_input besides a length.
constexpr long WAIT_INTERRUPTED = -1;
constexpr long WAIT_INPUT = -2;
constexpr long WAIT_FAILED = 0;

long send_message(net_endpoint& endpoint, const uint8_t* bytes, size_t length);
// Sends the message once: true when it went or was lost in passing (a local rule dropped it, a
// queue was full), false when the card can't send at all.
bool send_or_lose(net_endpoint& endpoint, const uint8_t* bytes, size_t length);
// One datagram of at most MAX_DATAGRAM bytes from our port; -1 otherwise.
long receive_datagram(net_endpoint& endpoint, uint8_t* buffer);
long wait_datagram(net_endpoint& endpoint, uint8_t* buffer, int64_t timeout_us);
// True when a datagram, ours or not, can be read at once.
bool datagram_waiting(const net_endpoint& endpoint);
// A datagram's length, WAIT_INPUT when `input` (the caller's keyboard) has something to read (left
// unread), WAIT_INTERRUPTED when a signal came, WAIT_FAILED when waiting is not possible.
long wait_datagram_or_input(net_endpoint& endpoint, uint8_t* buffer, int input);
// The next accepted message that is not an acknowledgement of an older message of ours.
long wait_reply(net_endpoint& endpoint, conversation& conv, uint8_t* buffer, int64_t timeout_us);
// Sends the message up to `attempts` times, waiting `timeout_us` for a reply after each.
long exchange(net_endpoint& endpoint, conversation& conv, const uint8_t* message, size_t length,
              uint8_t* reply_buffer, int64_t timeout_us, int attempts);
// A pure acknowledgement of the peer's last message, sent once.
bool send_acknowledgement(net_endpoint& endpoint, const conversation& conv);
