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
    std::fflush(stdout);
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

enum class disk_wait { started, refused, failed };

// Waits while the router prepares its disk, repeating our acknowledgement of its YACK every second,
// until its STRT. A repeated YACK is answered at once, and a router that went back to announcing
// itself gets the same offer again, so that a lost acknowledgement does not end the installation.
disk_wait wait_for_start(net_endpoint& endpoint, conversation& conv, const uint8_t* offer, size_t offer_length)
{
    uint8_t acknowledgement[HEADER_SIZE] = {};
    build_header(conv, acknowledgement, 0, true, KIND_CONTROL);
    uint8_t reply[MAX_DATAGRAM];
    for (int attempt = 0; attempt < DISK_WAIT_ATTEMPTS; ++attempt) {
        if (!send_or_lose(endpoint, acknowledgement, sizeof acknowledgement))
            return disk_wait::failed;
        int64_t deadline = now_us() + ONE_SECOND_US;
        for (int64_t left = ONE_SECOND_US; left > 0; left = deadline - now_us()) {
            long got = wait_datagram(endpoint, reply, left);
            if (got < 0)
                continue;
            size_t length = static_cast<size_t>(got);
            if (repeats_last_message(conv, reply, length)) {
                send_message(endpoint, acknowledgement, sizeof acknowledgement);
                continue;
            }
            if (announces_again(conv, reply, length)) {
                send_message(endpoint, offer, offer_length);
                continue;
            }
            if (!accept_message(conv, reply, length))
                continue;
            message_header header = read_header(reply);
            if (header.length == 0)
                continue;
            if (has_tag(reply + HEADER_SIZE, header.length, "STRT"))
                return disk_wait::started;
            if (has_tag(reply + HEADER_SIZE, header.length, "TERM")) {
                send_acknowledgement(endpoint, conv);
                return disk_wait::refused;
            }
            return disk_wait::failed;
        }
    }
    return disk_wait::failed;
}

// The router's TERM in the middle of the files: it stopped after the last file it got whole.
void report_stopped(const std::string& last_sent)
{
    if (last_sent.empty()) {
        fail_with_key("The router stopped the installation before the first package (press any key)");
        return;
    }
    std::printf("The router stopped the installation after %s (press any key)\n", last_sent.c_str());
    std::fflush(stdout);
    read_key();
}

// A file that did not arrive ends the session, with the reason kept on the screen until it is read.
bool transfer_succeeded(transfer_result result, net_endpoint& endpoint, conversation& conv,
                        const std::string& last_sent)
{
    if (result == transfer_result::sent)
        return true;
    if (result == transfer_result::stopped) {
        report_stopped(last_sent);
        return false;
    }
    // The router learns it now rather than after its own wait.
    send_term(endpoint, conv);
    fail_with_key("(press any key)");
    return false;
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

// Every package, then the script; false (reported) when one of them did not arrive.
bool send_all(sending_link& link, const std::vector<std::string>& paths, const std::string& script)
{
    std::string last_sent;
    for (const std::string& path : paths) {
        if (!transfer_succeeded(send_file(link, path), *link.endpoint, *link.conv, last_sent))
            return false;
        last_sent = path.substr(path.rfind('/') + 1);
        ++link.conv->own_sequence;
    }
    // Without its script (or the word that it keeps its own) the router isn't installed either.
    if (!transfer_succeeded(send_text(link, script), *link.endpoint, *link.conv, last_sent))
        return false;
    ++link.conv->own_sequence;
    return true;
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

    ++conv.own_sequence;
    disk_wait started = wait_for_start(endpoint, conv, offer, HEADER_SIZE + length);
    if (started == disk_wait::refused) {
        fail_with_key("The router refused to install (press any key)");
        return false;
    }
    if (started != disk_wait::started)
        return false;
    send_acknowledgement(endpoint, conv);

    sending_link link;
    link.endpoint = &endpoint;
    link.conv = &conv;
    open_frame_sender(link.frames, endpoint);
    bool sent = send_all(link, paths, keep ? std::string() : configuration);
    close_frame_sender(link.frames);
    if (!sent)
        return false;

    std::puts("");
    std::puts("Software installed.");
    std::puts("Press ENTER to reboot");
    closing_exchange(endpoint, conv);
    return true;
}
