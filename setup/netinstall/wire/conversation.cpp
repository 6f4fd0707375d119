#include "setup/netinstall/wire/conversation.h"

#include <algorithm>

#include "common/byte_order.h"

namespace {

constexpr size_t SOURCE_OFFSET = 0;
constexpr size_t DESTINATION_OFFSET = 6;
constexpr size_t FLAGS_OFFSET = 12;
constexpr size_t KIND_OFFSET = 13;
constexpr size_t LENGTH_OFFSET = 14;
constexpr size_t SEQUENCE_OFFSET = 16;
constexpr size_t ACKNOWLEDGEMENT_OFFSET = 18;

// The checks of length and addressing that every message from the peer must pass.
bool addressed_to_us(const conversation& conv, const message_header& header, size_t length)
{
    if (length < HEADER_SIZE || length - HEADER_SIZE != header.length)
        return false;
    if (header.source == conv.own_mac)
        return false;
    if (header.destination == NO_MAC)
        return conv.peer_mac == NO_MAC;
    if (header.destination != conv.own_mac)
        return false;
    return conv.peer_mac == NO_MAC || header.source == conv.peer_mac;
}

}  // namespace

message_header read_header(const uint8_t* message)
{
    message_header header;
    std::copy_n(message + SOURCE_OFFSET, header.source.size(), header.source.begin());
    std::copy_n(message + DESTINATION_OFFSET, header.destination.size(), header.destination.begin());
    header.flags = message[FLAGS_OFFSET];
    header.kind = message[KIND_OFFSET];
    header.length = get_u16(message + LENGTH_OFFSET);
    header.sequence = get_u16(message + SEQUENCE_OFFSET);
    header.acknowledgement = get_u16(message + ACKNOWLEDGEMENT_OFFSET);
    return header;
}

void conversation_init(conversation& conv)
{
    conv = conversation{};
}

void conversation_restart(conversation& conv)
{
    conv.own_sequence = 1;
    conv.peer_sequence = 0;
}

void build_header(const conversation& conv, uint8_t* message, uint16_t payload_length, bool with_ack,
                  uint8_t kind)
{
    std::copy(conv.own_mac.begin(), conv.own_mac.end(), message + SOURCE_OFFSET);
    std::copy(conv.peer_mac.begin(), conv.peer_mac.end(), message + DESTINATION_OFFSET);
    if (with_ack)
        message[FLAGS_OFFSET] |= FLAG_ACK;
    else
        message[FLAGS_OFFSET] &= static_cast<uint8_t>(~FLAG_ACK);
    message[KIND_OFFSET] = kind;
    put_u16(message + LENGTH_OFFSET, payload_length);
    put_u16(message + SEQUENCE_OFFSET, conv.own_sequence);
    put_u16(message + ACKNOWLEDGEMENT_OFFSET, with_ack ? conv.peer_sequence : 0);
}

bool sequence_after(uint16_t a, uint16_t b)
{
    return static_cast<int16_t>(static_cast<uint16_t>(a - b)) > 0;
}

bool accept_message(conversation& conv, const uint8_t* message, size_t length)
{
    if (length < HEADER_SIZE)
        return false;
    message_header header = read_header(message);
    if (!addressed_to_us(conv, header, length))
        return false;
    if ((header.flags & FLAG_ACK) && sequence_after(header.acknowledgement, conv.own_sequence))
        return false;
    if (header.length == 0)
        return true;
    if (header.sequence != static_cast<uint16_t>(conv.peer_sequence + 1))
        return false;
    conv.peer_sequence = header.sequence;
    return true;
}

bool repeats_last_message(const conversation& conv, const uint8_t* message, size_t length)
{
    if (length < HEADER_SIZE || conv.peer_mac == NO_MAC)
        return false;
    message_header header = read_header(message);
    return addressed_to_us(conv, header, length) &&
           header.length != 0 && header.sequence == conv.peer_sequence;
}
