#include "setup/netinstall/roles/file_sender.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/wire/repeat_timer.h"
#include "setup/netinstall/wire/udp_transport.h"

namespace {

constexpr int SEND_ATTEMPTS = 30;
// A FILE announcement waits for the router to be done with the file before: its installer may run
// a slow script or write to a slow disk long after the last byte. Every send is a second apart.
constexpr int ANNOUNCE_ATTEMPTS = 1800;
// The package is read in chunks of many blocks: one read per block would be a fourth of the system
// calls of a transfer.
constexpr size_t READ_CHUNK_SIZE = 64 * 1024;

struct file_sender {
    bool from_file = false;
    int fd = -1;
    const std::string* text = nullptr;
    int64_t size = 0;
    int64_t sent = 0;
    int64_t read_so_far = 0;
    uint8_t chunk[READ_CHUNK_SIZE];
    size_t chunk_length = 0;
    size_t chunk_position = 0;
    sending_link* link = nullptr;
    net_endpoint* endpoint = nullptr;
    conversation* conv = nullptr;
    uint8_t message[MAX_DATAGRAM] = {};
    size_t length = 0;
};

// Refills the chunk from the file, never past its size; false when nothing more can be read.
bool read_chunk(file_sender& sender)
{
    size_t wanted = static_cast<size_t>(std::min<int64_t>(READ_CHUNK_SIZE, sender.size - sender.read_so_far));
    ssize_t got = read_fully(sender.fd, sender.chunk, wanted);
    if (got <= 0)
        return false;
    sender.chunk_length = static_cast<size_t>(got);
    sender.chunk_position = 0;
    sender.read_so_far += got;
    return true;
}

// Puts the next block into the message; false (reported) when the file can't be read.
bool next_block(file_sender& sender)
{
    size_t payload = 0;
    if (sender.from_file) {
        size_t wanted = static_cast<size_t>(std::min<int64_t>(DATA_BLOCK_SIZE, sender.size - sender.sent));
        while (payload < wanted) {
            // A file that ends before its size would otherwise be sent as empty blocks.
            if (sender.chunk_position == sender.chunk_length && !read_chunk(sender)) {
                std::puts("FATAL ERROR: Read package failed");
                ++sender.conv->own_sequence;
                return false;
            }
            size_t take = std::min(wanted - payload, sender.chunk_length - sender.chunk_position);
            std::memcpy(sender.message + HEADER_SIZE + payload, sender.chunk + sender.chunk_position, take);
            sender.chunk_position += take;
            payload += take;
        }
    } else {
        payload = std::min(sender.text->size(), MAX_PAYLOAD);
        std::memcpy(sender.message + HEADER_SIZE, sender.text->data(), payload);
    }
    sender.sent += static_cast<int64_t>(payload);
    ++sender.conv->own_sequence;
    std::memset(sender.message, 0, HEADER_SIZE);
    build_header(*sender.conv, sender.message, static_cast<uint16_t>(payload), false, KIND_DATA);
    sender.length = HEADER_SIZE + payload;
    return true;
}

transfer_result transfer(file_sender& sender, const char* name)
{
    size_t announcement = build_file_announcement(sender.message + HEADER_SIZE, MAX_PAYLOAD, name, sender.size);
    build_header(*sender.conv, sender.message, static_cast<uint16_t>(announcement), false, KIND_CONTROL);
    sender.length = HEADER_SIZE + announcement;

    int attempts_left = ANNOUNCE_ATTEMPTS;
    int64_t timeout = ONE_SECOND_US;
    bool acknowledged_once = false;
    bool advance = false;
    // The announcement's acknowledgement waits for the router to finish the file before, and the
    // first block's for it to start its installer: only the blocks after them time the link.
    int64_t blocks_sent = 0;
    bool repeated = false;
    int64_t first_sent_at = 0;
    uint8_t reply[MAX_DATAGRAM];
    for (;;) {
        if (advance) {
            attempts_left = SEND_ATTEMPTS;
            if (sender.sent == sender.size)
                return transfer_result::sent;
            if (!next_block(sender))
                return transfer_result::failed;
            ++blocks_sent;
            repeated = false;
        }
        if (!repeated)
            first_sent_at = now_us();
        if (send_directed(sender.link->frames, *sender.endpoint, sender.conv->peer_mac, sender.message,
                          sender.length) < 0) {
            // A failed send counts like one that went unanswered.
        }
        if (!acknowledged_once)
            timeout = ONE_SECOND_US;
        if (wait_reply(*sender.endpoint, *sender.conv, reply, timeout) >= 0) {
            // A message of the router's own, rather than an acknowledgement: it gives up.
            if (has_tag(reply + HEADER_SIZE, read_header(reply).length, "TERM")) {
                acknowledge_directed(sender.link->frames, *sender.endpoint, *sender.conv);
                return transfer_result::stopped;
            }
            if (!repeated && blocks_sent > 1)
                record_round_trip(sender.link->timer, now_us() - first_sent_at);
            advance = true;
            timeout = first_repeat_wait(sender.link->timer);
            acknowledged_once = true;
            continue;
        }
        if (--attempts_left == 0) {
            std::puts("FATAL ERROR: Installation timeout");
            // Taken as arrived: if only its acknowledgement was lost, the router accepts what we
            // send next.
            ++sender.conv->own_sequence;
            return transfer_result::failed;
        }
        advance = false;
        repeated = true;
        if (acknowledged_once)
            timeout = next_repeat_wait(timeout);
    }
}

}  // namespace

transfer_result send_file(sending_link& link, const std::string& path)
{
    file_sender sender;
    sender.from_file = true;
    sender.link = &link;
    sender.endpoint = link.endpoint;
    sender.conv = link.conv;
    sender.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (sender.fd < 0) {
        std::puts("FATAL ERROR: Open package failed");
        return transfer_result::failed;
    }
    size_t slash = path.rfind('/');
    struct stat status;
    bool ready = false;
    if (slash == std::string::npos) {
        std::puts("FATAL ERROR: Bad package name");
    } else if (fstat(sender.fd, &status) != 0) {
        std::puts("FATAL ERROR: Open package failed");
    } else {
        ready = true;
        sender.size = status.st_size;
    }
    transfer_result sent = transfer_result::failed;
    if (ready) {
        std::string name = path.substr(slash + 1);
        std::printf("Transfering: %s...\n", name.c_str());
        std::fflush(stdout);
        sent = transfer(sender, name.c_str());
    }
    close(sender.fd);
    return sent;
}

transfer_result send_text(sending_link& link, const std::string& text)
{
    file_sender sender;
    sender.link = &link;
    sender.endpoint = link.endpoint;
    sender.conv = link.conv;
    sender.text = &text;
    sender.size = static_cast<int64_t>(std::min(text.size(), MAX_PAYLOAD));
    std::puts("Transfering: configuration...");
    std::fflush(stdout);
    return transfer(sender, SCRIPT_FILE_NAME);
}
