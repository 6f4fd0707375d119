#include "setup/netinstall/roles/batch_session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/wire/directed_frames.h"
#include "setup/netinstall/wire/repeat_timer.h"
#include "setup/netinstall/wire/udp_transport.h"
#include "setup/tui/key_input.h"

namespace {

// The same patience as a single installation: see server_session and file_sender.
constexpr int OFFER_ATTEMPTS = 10;
constexpr int DISK_WAIT_ATTEMPTS = 1800;
constexpr int SEND_ATTEMPTS = 30;
constexpr int ANNOUNCE_ATTEMPTS = 1800;
constexpr int CLOSING_ATTEMPTS = 5;
constexpr int64_t CLOSING_TIMEOUT_US = 100000;
// Smaller than a single installation's chunk: a batch keeps one per router.
constexpr size_t READ_CHUNK_SIZE = 16 * 1024;
constexpr int64_t PROGRESS_INTERVAL_US = 250000;

enum class phase {
    offering,     // the offer, until the router's YACK
    preparing,    // our acknowledgement every second while the router prepares its disk, until STRT
    sending,      // a FILE announcement or a block, until its acknowledgement
    closing,      // everything went across; until the router's TERM
    terminating,  // our TERM, until it is acknowledged
    done,
};

struct member_state {
    const batch_member* member = nullptr;
    net_endpoint* endpoint = nullptr;
    frame_sender* frames = nullptr;
    conversation conv;
    phase step = phase::offering;
    batch_status* status = nullptr;
    uint8_t offer[HEADER_SIZE + 64] = {};
    size_t offer_length = 0;
    uint8_t message[MAX_DATAGRAM] = {};
    size_t length = 0;
    int64_t deadline = 0;
    int64_t timeout = 0;
    int attempts_left = 0;
    bool acknowledged_once = false;
    // Each router's link is timed on its own; only blocks after a file's first, sent once, count.
    repeat_timer timer;
    int64_t blocks_sent = 0;
    bool repeated = false;
    int64_t first_sent_at = 0;
    size_t next_path = 0;       // index into paths; paths.size() is the script
    bool sending_script = false;
    std::string last_sent;
    int fd = -1;
    int64_t read_so_far = 0;
    std::unique_ptr<uint8_t[]> chunk;
    size_t chunk_length = 0;
    size_t chunk_position = 0;
};

struct batch_run {
    const std::vector<std::string>* paths = nullptr;
    bool keep = false;
    std::vector<batch_status> statuses;
    bool changed = false;
};

void send_to_router(member_state& state, const uint8_t* bytes, size_t length)
{
    send_directed(*state.frames, *state.endpoint, state.conv.peer_mac, bytes, length);
}

void acknowledge(member_state& state)
{
    acknowledge_directed(*state.frames, *state.endpoint, state.conv);
}

void send_current(member_state& state, int64_t timeout)
{
    send_to_router(state, state.message, state.length);
    state.timeout = timeout;
    state.deadline = now_us() + timeout;
}

void close_file(member_state& state)
{
    if (state.fd >= 0)
        close(state.fd);
    state.fd = -1;
}

void finish(batch_run& run, member_state& state, const std::string& reason)
{
    close_file(state);
    state.step = phase::done;
    state.status->finished = true;
    if (!state.status->transferred && state.status->reason.empty())
        state.status->reason = reason;
    run.changed = true;
}

// Tells the router we give up, as a single installation does after a failed file.
void terminate(batch_run& run, member_state& state, const std::string& reason)
{
    close_file(state);
    if (!reason.empty())
        state.status->reason = reason;
    std::memset(state.message, 0, HEADER_SIZE);
    std::memcpy(state.message + HEADER_SIZE, "TERM", TAG_SIZE);
    build_header(state.conv, state.message, TAG_SIZE, false, KIND_CONTROL);
    state.length = HEADER_SIZE + TAG_SIZE;
    state.step = phase::terminating;
    state.attempts_left = CLOSING_ATTEMPTS;
    run.changed = true;
    send_current(state, CLOSING_TIMEOUT_US);
}

bool read_chunk(member_state& state)
{
    size_t wanted = static_cast<size_t>(std::min<int64_t>(READ_CHUNK_SIZE, state.status->size - state.read_so_far));
    ssize_t got = read_fully(state.fd, state.chunk.get(), wanted);
    if (got <= 0)
        return false;
    state.chunk_length = static_cast<size_t>(got);
    state.chunk_position = 0;
    state.read_so_far += got;
    return true;
}

// The next block into the message; false when the package can't be read.
bool next_block(member_state& state)
{
    batch_status& status = *state.status;
    size_t payload = 0;
    if (!state.sending_script) {
        size_t wanted = static_cast<size_t>(std::min<int64_t>(DATA_BLOCK_SIZE, status.size - status.sent));
        while (payload < wanted) {
            if (state.chunk_position == state.chunk_length && !read_chunk(state))
                return false;
            size_t take = std::min(wanted - payload, state.chunk_length - state.chunk_position);
            std::memcpy(state.message + HEADER_SIZE + payload, state.chunk.get() + state.chunk_position, take);
            state.chunk_position += take;
            payload += take;
        }
    } else {
        payload = static_cast<size_t>(status.size);
        std::memcpy(state.message + HEADER_SIZE, state.member->configuration.data(), payload);
    }
    status.sent += static_cast<int64_t>(payload);
    ++state.conv.own_sequence;
    std::memset(state.message, 0, HEADER_SIZE);
    build_header(state.conv, state.message, static_cast<uint16_t>(payload), false, KIND_DATA);
    state.length = HEADER_SIZE + payload;
    return true;
}

void announce(member_state& state, const char* name)
{
    std::memset(state.message, 0, HEADER_SIZE);
    size_t length = build_file_announcement(state.message + HEADER_SIZE, MAX_PAYLOAD, name, state.status->size);
    build_header(state.conv, state.message, static_cast<uint16_t>(length), false, KIND_CONTROL);
    state.length = HEADER_SIZE + length;
    state.attempts_left = ANNOUNCE_ATTEMPTS;
    state.acknowledged_once = false;
    state.step = phase::sending;
    state.blocks_sent = 0;
    state.repeated = false;
    send_current(state, ONE_SECOND_US);
}

// Starts the next package, or the script after the last one.
void start_next_file(batch_run& run, member_state& state)
{
    const std::vector<std::string>& paths = *run.paths;
    batch_status& status = *state.status;
    status.sent = 0;
    state.read_so_far = 0;
    state.chunk_length = 0;
    state.chunk_position = 0;
    run.changed = true;
    if (state.next_path == paths.size()) {
        state.sending_script = true;
        status.file = "configuration";
        const std::string& script = state.member->configuration;
        status.size = static_cast<int64_t>(run.keep ? 0 : std::min(script.size(), MAX_PAYLOAD));
        announce(state, SCRIPT_FILE_NAME);
        return;
    }
    const std::string& path = paths[state.next_path];
    size_t slash = path.rfind('/');
    status.file = slash == std::string::npos ? path : path.substr(slash + 1);
    state.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat file_status;
    if (state.fd < 0 || slash == std::string::npos || fstat(state.fd, &file_status) != 0) {
        terminate(run, state, "Open package failed");
        return;
    }
    status.size = file_status.st_size;
    announce(state, status.file.c_str());
}

void file_acknowledged(batch_run& run, member_state& state)
{
    batch_status& status = *state.status;
    if (!state.repeated && state.blocks_sent > 1)
        record_round_trip(state.timer, now_us() - state.first_sent_at);
    state.attempts_left = SEND_ATTEMPTS;
    state.acknowledged_once = true;
    if (status.sent == status.size) {
        close_file(state);
        ++state.conv.own_sequence;
        if (state.sending_script) {
            status.transferred = true;
            state.step = phase::closing;
            run.changed = true;
            return;
        }
        state.last_sent = status.file;
        ++state.next_path;
        start_next_file(run, state);
        return;
    }
    if (!next_block(state)) {
        ++state.conv.own_sequence;
        terminate(run, state, "Read package failed");
        return;
    }
    ++state.blocks_sent;
    state.repeated = false;
    state.first_sent_at = now_us();
    send_current(state, first_repeat_wait(state.timer));
}

// An accepted message that is a reply to what we sent last rather than an old acknowledgement.
bool accept_reply(conversation& conv, const uint8_t* message, size_t length)
{
    if (!accept_message(conv, message, length))
        return false;
    message_header header = read_header(message);
    return !(header.flags & FLAG_ACK) || header.acknowledgement == conv.own_sequence;
}

void take_datagram(batch_run& run, member_state& state, const uint8_t* message, size_t length)
{
    conversation& conv = state.conv;
    switch (state.step) {
    case phase::offering: {
        if (!accept_reply(conv, message, length))
            return;
        if (!has_tag(message + HEADER_SIZE, read_header(message).length, "YACK")) {
            finish(run, state, "Bad response from router");
            return;
        }
        ++conv.own_sequence;
        std::memset(state.message, 0, HEADER_SIZE);
        build_header(conv, state.message, 0, true, KIND_CONTROL);
        state.length = HEADER_SIZE;
        state.step = phase::preparing;
        state.attempts_left = DISK_WAIT_ATTEMPTS;
        state.status->file = "preparing disk";
        run.changed = true;
        send_current(state, ONE_SECOND_US);
        return;
    }
    case phase::preparing: {
        if (repeats_last_message(conv, message, length)) {
            send_to_router(state, state.message, state.length);
            return;
        }
        if (announces_again(conv, message, length)) {
            send_to_router(state, state.offer, state.offer_length);
            return;
        }
        if (!accept_message(conv, message, length))
            return;
        message_header header = read_header(message);
        if (header.length == 0)
            return;
        if (has_tag(message + HEADER_SIZE, header.length, "STRT")) {
            acknowledge(state);
            start_next_file(run, state);
            return;
        }
        if (has_tag(message + HEADER_SIZE, header.length, "TERM")) {
            acknowledge(state);
            finish(run, state, "The router refused to install");
            return;
        }
        finish(run, state, "Bad response from router");
        return;
    }
    case phase::sending:
        if (!accept_reply(conv, message, length))
            return;
        if (has_tag(message + HEADER_SIZE, read_header(message).length, "TERM")) {
            acknowledge(state);
            finish(run, state, state.last_sent.empty()
                                   ? std::string("The router stopped the installation before the first package")
                                   : "The router stopped the installation after " + state.last_sent);
            return;
        }
        file_acknowledged(run, state);
        return;
    case phase::closing:
        if (accept_message(conv, message, length) &&
            has_tag(message + HEADER_SIZE, read_header(message).length, "TERM")) {
            acknowledge(state);
            finish(run, state, std::string());
        }
        return;
    case phase::terminating:
        if (accept_reply(conv, message, length))
            finish(run, state, std::string());
        return;
    case phase::done:
        return;
    }
}

void time_out(batch_run& run, member_state& state)
{
    switch (state.step) {
    case phase::offering:
        if (--state.attempts_left == 0) {
            finish(run, state, "No response from router");
            return;
        }
        send_current(state, ONE_SECOND_US);
        return;
    case phase::preparing:
        if (--state.attempts_left == 0) {
            finish(run, state, "No response from router");
            return;
        }
        send_current(state, ONE_SECOND_US);
        return;
    case phase::sending:
        if (--state.attempts_left == 0) {
            // Taken as arrived: if only its acknowledgement was lost, the router accepts our TERM.
            ++state.conv.own_sequence;
            terminate(run, state, "Installation timeout");
            return;
        }
        state.repeated = true;
        send_current(state, state.acknowledged_once ? next_repeat_wait(state.timeout) : ONE_SECOND_US);
        return;
    case phase::terminating:
        if (--state.attempts_left == 0) {
            finish(run, state, std::string());
            return;
        }
        send_current(state, CLOSING_TIMEOUT_US);
        return;
    case phase::closing:
    case phase::done:
        return;
    }
}

bool has_timer(const member_state& state)
{
    return state.step != phase::closing && state.step != phase::done;
}

}  // namespace

bool run_batch_session(install_server& server, const std::vector<batch_member>& members,
                       const std::vector<std::string>& paths, bool keep, batch_observer observer,
                       void* context, bool& key_read)
{
    key_read = false;
    batch_run run;
    run.paths = &paths;
    run.keep = keep;
    run.statuses.resize(members.size());
    std::vector<member_state> states(members.size());
    // Without frames of our own (no packet sockets) the datagrams are broadcast, as for one router.
    std::vector<frame_sender> frames(server.interfaces.endpoints.size());
    for (size_t i = 0; i < frames.size(); ++i)
        open_frame_sender(frames[i], server.interfaces.endpoints[i]);
    for (size_t i = 0; i < members.size(); ++i) {
        member_state& state = states[i];
        state.member = &members[i];
        state.status = &run.statuses[i];
        state.endpoint = &server.interfaces.endpoints[members[i].router.endpoint];
        state.frames = &frames[members[i].router.endpoint];
        state.chunk.reset(new uint8_t[READ_CHUNK_SIZE]);
        state.conv.own_mac = state.endpoint->mac;
        state.conv.peer_mac = members[i].router.mac;
        state.conv.peer_sequence = 1;
        state.conv.own_sequence = 1;
        size_t length = build_offer(state.offer + HEADER_SIZE, sizeof state.offer - HEADER_SIZE, keep);
        build_header(state.conv, state.offer, static_cast<uint16_t>(length), true, KIND_CONTROL);
        state.offer_length = HEADER_SIZE + length;
        std::memcpy(state.message, state.offer, state.offer_length);
        state.length = state.offer_length;
        state.attempts_left = OFFER_ATTEMPTS;
        send_current(state, ONE_SECOND_US);
    }
    observer(run.statuses, false, context);
    int64_t last_shown = now_us();
    bool asked_for_key = false;
    uint8_t message[MAX_DATAGRAM];
    for (;;) {
        bool busy = false;
        bool all_done = true;
        int64_t earliest = 0;
        for (const member_state& state : states) {
            if (state.step != phase::done)
                all_done = false;
            if (has_timer(state)) {
                busy = true;
                if (earliest == 0 || state.deadline < earliest)
                    earliest = state.deadline;
            }
        }
        if (all_done)
            break;
        int64_t now = now_us();
        if (run.changed || (now - last_shown >= PROGRESS_INTERVAL_US)) {
            observer(run.statuses, false, context);
            run.changed = false;
            last_shown = now;
        }
        // Only routers that wait to say goodbye are left: a key ends them, as after one installation.
        bool want_key = !busy;
        if (want_key && !asked_for_key) {
            observer(run.statuses, true, context);
            asked_for_key = true;
        }
        fd_set readable;
        FD_ZERO(&readable);
        int highest = -1;
        if (want_key) {
            FD_SET(STDIN_FILENO, &readable);
            highest = STDIN_FILENO;
        }
        for (const net_endpoint& endpoint : server.interfaces.endpoints) {
            FD_SET(endpoint.socket, &readable);
            highest = std::max(highest, endpoint.socket);
        }
        timeval limit{};
        timeval* wait = nullptr;
        if (busy) {
            int64_t left = std::max<int64_t>(0, std::min(earliest - now, PROGRESS_INTERVAL_US));
            limit.tv_sec = static_cast<time_t>(left / ONE_SECOND_US);
            limit.tv_usec = static_cast<suseconds_t>(left % ONE_SECOND_US);
            wait = &limit;
        }
        int ready = select(highest + 1, &readable, nullptr, nullptr, wait);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && want_key && FD_ISSET(STDIN_FILENO, &readable)) {
            read_key();
            key_read = true;
            for (member_state& state : states) {
                if (state.step == phase::closing)
                    terminate(run, state, std::string());
            }
            if (input_ended())
                want_key = false;
        }
        for (size_t i = 0; ready > 0 && i < server.interfaces.endpoints.size(); ++i) {
            net_endpoint& endpoint = server.interfaces.endpoints[i];
            if (!FD_ISSET(endpoint.socket, &readable))
                continue;
            // Everything that is waiting, so that a busy socket is emptied before the timers run.
            do {
                long got = receive_datagram(endpoint, message);
                if (got < static_cast<long>(HEADER_SIZE))
                    continue;
                message_header header = read_header(message);
                for (member_state& state : states) {
                    if (state.member->router.endpoint == i && state.conv.peer_mac == header.source) {
                        take_datagram(run, state, message, static_cast<size_t>(got));
                        break;
                    }
                }
            } while (datagram_waiting(endpoint));
        }
        now = now_us();
        for (member_state& state : states) {
            if (has_timer(state) && state.deadline <= now)
                time_out(run, state);
        }
    }
    for (member_state& state : states)
        close_file(state);
    for (frame_sender& sender : frames)
        close_frame_sender(sender);
    observer(run.statuses, false, context);
    bool all_installed = true;
    for (const batch_status& status : run.statuses)
        all_installed = all_installed && status.transferred;
    return all_installed;
}
