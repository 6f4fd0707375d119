// A datagram from the network: the first bytes set up the receiving conversation, the rest is the
// datagram. accept_message may move the peer sequence only to the next number, and the FILE and
// DSCV readers must keep their limits and hand on nothing a terminal would act on.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_target.h"
#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/wire/conversation.h"
#include "setup/support/untrusted_text.h"

namespace {

constexpr size_t SETUP_BYTES = 17;

bool printable(const std::string& text)
{
    return printable_text(text) == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < SETUP_BYTES)
        return 0;
    conversation conv;
    std::memcpy(conv.own_mac.data(), data, 6);
    if (data[16] & 1)
        std::memcpy(conv.peer_mac.data(), data + 6, 6);
    conv.own_sequence = static_cast<uint16_t>(data[12] | (data[13] << 8));
    conv.peer_sequence = static_cast<uint16_t>(data[14] | (data[15] << 8));
    const uint8_t* datagram = data + SETUP_BYTES;
    size_t length = size - SETUP_BYTES;

    uint16_t before = conv.peer_sequence;
    bool repeat = repeats_last_message(conv, datagram, length);
    if (accept_message(conv, datagram, length)) {
        if (length < HEADER_SIZE || repeat)
            abort();
        message_header header = read_header(datagram);
        if (header.length != length - HEADER_SIZE)
            abort();
        if (conv.peer_sequence != before && conv.peer_sequence != static_cast<uint16_t>(before + 1))
            abort();
    } else if (conv.peer_sequence != before) {
        abort();
    }

    // The parsers see the whole datagram as a payload, as a peer could send it.
    file_announcement file;
    if (parse_file_announcement(datagram, length, file)) {
        if (file.size < 0 || file.name.size() > FILE_NAME_LIMIT)
            abort();
    } else if (!file.name.empty() || file.size != 0) {
        abort();
    }
    discovery_lines lines;
    if (parse_discovery(datagram, length, lines)) {
        if (lines.label.size() >= DISCOVERY_LINE_LIMIT || lines.reserved_first.size() >= DISCOVERY_LINE_LIMIT ||
            lines.reserved_second.size() >= DISCOVERY_LINE_LIMIT || !printable(lines.label))
            abort();
    }
    bool keep = false;
    parse_offer(datagram, length, keep);
    if (plain_base_name(file.name) &&
        (file.name.find('/') != std::string::npos || file.name == ".." || !printable(file.name)))
        abort();
    return 0;
}
