#include "setup/netinstall/roles/server_session.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/roles/file_sender.h"
#include "setup/netinstall/wire/udp_transport.h"
#include "setup/tui/key_input.h"

namespace {

constexpr int OFFER_ATTEMPTS = 10;
constexpr int DISK_WAIT_ATTEMPTS = 1800;
constexpr int CLOSING_ATTEMPTS = 5;
constexpr int64_t CLOSING_TIMEOUT_US = 100000;

void fail_with_key(const char* message)
{
    std::puts(message);
    read_key();
}

void send_term(net_endpoint& endpoint, conversation& conv)
{
    uint8_t message[HEADER_SIZE + TAG_SIZE] = {};
    std::memcpy(message + HEADER_SIZE, "TERM", TAG_SIZE);
    build_header(conv, message, TAG_SIZE, false, KIND_CONTROL);
    uint8_t reply[MAX_DATAGRAM];
    exchange(endpoint, conv, message, sizeof message, reply, CLOSING_TIMEOUT_US, CLOSING_ATTEMPTS);
}

// Waits for the router's TERM, or ends the conversation ourselves when a key is pressed.
void closing_exchange(net_endpoint& endpoint, conversation& conv)
{
    std::fflush(stdout);
    uint8_t message[MAX_DATAGRAM];
    for (;;) {
        long got = wait_datagram_or_input(endpoint, message, STDIN_FILENO);
        if (got == WAIT_FAILED) {
            send_term(endpoint, conv);
            return;
        }
        if (got == WAIT_INPUT) {
            read_key();
            send_term(endpoint, conv);
            return;
        }
        if (got < 0 || !accept_message(conv, message, static_cast<size_t>(got)))
            continue;
        if (has_tag(message + HEADER_SIZE, read_header(message).length, "TERM")) {
            send_acknowledgement(endpoint, conv);
            return;
        }
    }
}

}  // namespace

bool run_server_session(install_server& server, const router_entry& router,
                        const std::vector<std::string>& paths, bool keep, const std::string& configuration)
{
    std::puts("\n\nSending offer...");
    std::fflush(stdout);
    net_endpoint& endpoint = server.interfaces.endpoints[router.endpoint];
    conversation& conv = server.conv;
    conv.own_mac = endpoint.mac;
    conv.peer_mac = router.mac;
    conv.peer_sequence = 1;
    conv.own_sequence = 1;

    uint8_t offer[MAX_DATAGRAM] = {};
    size_t length = build_offer(offer + HEADER_SIZE, MAX_PAYLOAD, keep);
    build_header(conv, offer, static_cast<uint16_t>(length), true, KIND_CONTROL);
    uint8_t reply[MAX_DATAGRAM];
    long got = exchange(endpoint, conv, offer, HEADER_SIZE + length, reply, ONE_SECOND_US, OFFER_ATTEMPTS);
    if (got < 0) {
        fail_with_key("No response from router (press any key)");
        return false;
    }
    if (!has_tag(reply + HEADER_SIZE, read_header(reply).length, "YACK")) {
        fail_with_key("Bad response from router (press any key)");
        return false;
    }
    std::puts("Formating and partitioning harddisk...");
    std::fflush(stdout);

    // Our acknowledgement of YACK is repeated every second while the router prepares its disk; its
    // STRT ends the wait.
    ++conv.own_sequence;
    uint8_t acknowledgement[HEADER_SIZE] = {};
    build_header(conv, acknowledgement, 0, true, KIND_CONTROL);
    got = exchange(endpoint, conv, acknowledgement, sizeof acknowledgement, reply, ONE_SECOND_US,
                   DISK_WAIT_ATTEMPTS);
    if (got < 0 || !has_tag(reply + HEADER_SIZE, read_header(reply).length, "STRT"))
        return false;
    send_acknowledgement(endpoint, conv);

    for (const std::string& path : paths) {
        if (!send_file(endpoint, conv, path))
            return false;
        ++conv.own_sequence;
    }
    // Without its script (or the word that it keeps its own) the router isn't installed either.
    if (!send_text(endpoint, conv, keep ? std::string() : configuration))
        return false;
    ++conv.own_sequence;

    std::puts("");
    std::puts("Software installed.");
    std::puts("Press ENTER to reboot");
    closing_exchange(endpoint, conv);
    return true;
}
