#include "setup/netinstall/roles/install_client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/wire/udp_transport.h"

namespace {

constexpr int REOPEN_CYCLES = 60;
// A segment flooding our port must not keep one cycle reading for ever.
constexpr int DRAIN_LIMIT = 4096;
constexpr int CONTROL_ATTEMPTS = 5;
constexpr int64_t CLOSING_TIMEOUT_US = 100000;
constexpr int64_t SILENCE_LIMIT_US = 30 * ONE_SECOND_US;

struct outgoing {
    uint8_t bytes[MAX_DATAGRAM] = {};
    size_t length = 0;
};

// A control message of ours with the payload text (and its terminating NUL when `with_nul`).
outgoing control_message(const conversation& conv, const char* text, bool with_ack)
{
    outgoing message;
    size_t length = std::strlen(text);
    std::memcpy(message.bytes + HEADER_SIZE, text, length);
    build_header(conv, message.bytes, static_cast<uint16_t>(length), with_ack, KIND_CONTROL);
    message.length = HEADER_SIZE + length;
    return message;
}

// A broadcast would come back to our own socket and reach every station of the segment.
void acknowledge(install_client& client)
{
    acknowledge_directed(client.frames, *client.server, client.conv);
}

void send_term(install_client& client, int64_t timeout_us)
{
    outgoing term = control_message(client.conv, "TERM", false);
    uint8_t reply[MAX_DATAGRAM];
    exchange(*client.server, client.conv, term.bytes, term.length, reply, timeout_us, CONTROL_ATTEMPTS);
}

// An offer for us: accepted, addressed to us rather than to anybody, answering our announcement.
bool is_offer(conversation& conv, const uint8_t* message, size_t length, bool& keep)
{
    if (!accept_message(conv, message, length))
        return false;
    message_header header = read_header(message);
    if (header.destination == NO_MAC || !(header.flags & FLAG_ACK) ||
        header.acknowledgement != conv.own_sequence || header.kind != KIND_CONTROL)
        return false;
    return parse_offer(message + HEADER_SIZE, header.length, keep);
}

// One discovery cycle: announce on every interface, wait a second, look at what came. True when an
// offer was taken (the client is then bound to its endpoint); `send_failed` when announcing failed.
bool discovery_cycle(install_client& client, const char* label, bool& keep, bool& send_failed)
{
    uint8_t message[MAX_DATAGRAM];
    for (net_endpoint& endpoint : client.interfaces.endpoints) {
        conversation_restart(client.conv);
        client.conv.own_mac = endpoint.mac;
        std::memset(message, 0, HEADER_SIZE);
        size_t length = build_discovery(message + HEADER_SIZE, MAX_PAYLOAD, label);
        build_header(client.conv, message, static_cast<uint16_t>(length), false, KIND_CONTROL);
        if (send_message(endpoint, message, HEADER_SIZE + length) < 0) {
            send_failed = true;
            return false;
        }
    }
    sleep(1);
    for (net_endpoint& endpoint : client.interfaces.endpoints) {
        // Other programs may broadcast to our port too: their datagrams are passed over, and the
        // server's offers behind them still read in this cycle.
        for (int read = 0; read < DRAIN_LIMIT && datagram_waiting(endpoint); ++read) {
            long got = receive_datagram(endpoint, message);
            if (got < 0)
                continue;
            conversation_restart(client.conv);
            client.conv.own_mac = endpoint.mac;
            if (!is_offer(client.conv, message, static_cast<size_t>(got), keep))
                continue;
            client.conv.peer_mac = read_header(message).source;
            ++client.conv.own_sequence;
            client.server = &endpoint;
            return true;
        }
    }
    return false;
}

void reset_receiver(file_receiver& receiver)
{
    receiver.size = 0;
    receiver.block_length = 0;
    receiver.delivered = 0;
    receiver.position = 0;
}

// Waits up to a second for the next message of the server. A repeat of the message accepted last
// means our acknowledgement was lost: it is acknowledged again. Returns the accepted length or -1.
long next_message(install_client& client, bool acknowledge_silence)
{
    file_receiver& receiver = client.receiver;
    if (receiver.message_pending) {
        receiver.message_pending = false;
        return HEADER_SIZE + read_header(receiver.message).length;
    }
    long got = wait_datagram(*client.server, receiver.message, ONE_SECOND_US);
    if (got >= 0 && accept_message(client.conv, receiver.message, static_cast<size_t>(got)))
        return got;
    if (got >= 0 ? repeats_last_message(client.conv, receiver.message, static_cast<size_t>(got))
                 : acknowledge_silence)
        acknowledge(client);
    return -1;
}

bool receive_file_message(install_client& client)
{
    file_receiver& receiver = client.receiver;
    reset_receiver(receiver);
    int64_t start = now_us();
    long got;
    for (;;) {
        got = next_message(client, true);
        if (got > 0 && read_header(receiver.message).length != 0)
            break;
        if (now_us() - start > SILENCE_LIMIT_US)
            return false;
    }
    message_header header = read_header(receiver.message);
    if (header.kind != KIND_CONTROL)
        return false;
    file_announcement announcement;
    if (!parse_file_announcement(receiver.message + HEADER_SIZE, header.length, announcement)) {
        receiver.name.clear();
        return false;
    }
    receiver.name = announcement.name;
    receiver.size = announcement.size;
    acknowledge(client);
    return true;
}

// Waits for the next data block; false when none comes within the limit or something else does.
bool receive_block(install_client& client)
{
    file_receiver& receiver = client.receiver;
    int64_t start = now_us();
    for (;;) {
        long got = next_message(client, false);
        if (got >= 0) {
            message_header header = read_header(receiver.message);
            if (header.length == 0)
                continue;  // a stale acknowledgement of ours
            if (header.kind != KIND_DATA)
                return false;
            receiver.block_length = header.length;
            receiver.position = 0;
            acknowledge(client);
            return true;
        }
        if (now_us() - start > SILENCE_LIMIT_US)
            return false;
    }
}

}  // namespace

void client_init(install_client& client)
{
    conversation_init(client.conv);
    client.server = nullptr;
    open_interfaces(client.interfaces);
}

void client_release(install_client& client)
{
    close_frame_sender(client.frames);
    close_interfaces(client.interfaces);
    client.server = nullptr;
}

bool find_server(install_client& client, const char* label, bool& keep)
{
    // Cards that are gone (a cable, a switch restart, a USB adapter) are looked for again on every
    // call until one is there.
    if (!has_interfaces(client.interfaces))
        open_interfaces(client.interfaces);
    for (;;) {
        if (!has_interfaces(client.interfaces))
            return false;
        client.conv.peer_mac = NO_MAC;
        client.server = nullptr;
        keep = false;
        bool found = false;
        for (int cycle = 1; !found; ++cycle) {
            bool send_failed = false;
            found = discovery_cycle(client, label, keep, send_failed);
            if (send_failed) {
                // A socket whose card went away never sends again: the next call starts on a fresh
                // scan.
                open_interfaces(client.interfaces);
                return false;
            }
            if (!found && cycle % REOPEN_CYCLES == 0) {
                // Interfaces whose driver came up late are found this way.
                open_interfaces(client.interfaces);
                if (!has_interfaces(client.interfaces))
                    return false;
            }
        }
        outgoing yack = control_message(client.conv, "YACK\n", true);
        uint8_t reply[MAX_DATAGRAM];
        if (exchange(*client.server, client.conv, yack.bytes, yack.length, reply, ONE_SECOND_US,
                     CONTROL_ATTEMPTS) < 0)
            continue;
        ++client.conv.own_sequence;
        reset_receiver(client.receiver);
        client.receiver.message_pending = false;
        close_frame_sender(client.frames);
        open_frame_sender(client.frames, *client.server);
        return true;
    }
}

bool request_start(install_client& client)
{
    outgoing start = control_message(client.conv, "STRT", false);
    file_receiver& receiver = client.receiver;
    long got = exchange(*client.server, client.conv, start.bytes, start.length, receiver.message,
                        ONE_SECOND_US, CONTROL_ATTEMPTS);
    if (got <= 0)
        return false;
    ++client.conv.own_sequence;
    // When the server's acknowledgement of STRT was lost, the reply is its first FILE message, and
    // it has been accepted already: keep it for next_file.
    receiver.message_pending = read_header(receiver.message).length != 0;
    return true;
}

bool next_file(install_client& client, std::string& name, size_t name_size, int64_t& size)
{
    // A name cut to fit could mean another file: one that doesn't fit is refused.
    if (receive_file_message(client) && client.receiver.name.size() < name_size) {
        size = client.receiver.size;
        name = client.receiver.name;
        if (size == 0)
            acknowledge(client);
        return true;
    }
    send_term(client, ONE_SECOND_US);
    return false;
}

void stop_server(install_client& client)
{
    send_term(client, ONE_SECOND_US);
}

long read_file_data(install_client& client, uint8_t* buffer, size_t wanted)
{
    file_receiver& receiver = client.receiver;
    if (receiver.delivered >= receiver.size)
        return 0;
    size_t copied = 0;
    while (copied < wanted) {
        if (receiver.position >= receiver.block_length && !receive_block(client))
            return -1;
        size_t available = receiver.block_length - receiver.position;
        size_t take = std::min(available, wanted - copied);
        // A block that runs past the announced size brings nothing beyond it.
        take = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(take), receiver.size - receiver.delivered));
        std::memcpy(buffer + copied, receiver.message + HEADER_SIZE + receiver.position, take);
        receiver.position += take;
        copied += take;
        receiver.delivered += static_cast<int64_t>(take);
        if (receiver.delivered >= receiver.size)
            break;
    }
    return static_cast<long>(copied);
}

void finish_client(install_client& client, int input)
{
    uint8_t message[MAX_DATAGRAM];
    for (;;) {
        long got = wait_datagram_or_input(*client.server, message, input);
        if (got == WAIT_INPUT || got == WAIT_FAILED) {
            send_term(client, CLOSING_TIMEOUT_US);
            return;
        }
        if (got < 0)
            continue;
        size_t length = static_cast<size_t>(got);
        bool repeat = repeats_last_message(client.conv, message, length);
        if (!repeat && !accept_message(client.conv, message, length))
            continue;
        message_header header = read_header(message);
        if (header.length == 0 || header.sequence != client.conv.peer_sequence)
            continue;
        bool term = has_tag(message + HEADER_SIZE, header.length, "TERM");
        if (!repeat && !term) {
            // Our files are all in: acknowledging more would let the server believe we took it.
            send_term(client, CLOSING_TIMEOUT_US);
            return;
        }
        acknowledge(client);
        std::printf("resend ack: %d\n", client.conv.peer_sequence);
        std::fflush(stdout);
        if (term) {
            acknowledge(client);
            return;
        }
    }
}
