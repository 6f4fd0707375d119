#include "setup/netinstall/protocol/protocol_messages.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "setup/support/untrusted_text.h"

namespace {

// Reads one "\n"-ended line from `text` at `position`; false when no "\n" follows.
bool next_line(std::string_view text, size_t& position, std::string_view& line)
{
    size_t end = text.find('\n', position);
    if (end == std::string_view::npos)
        return false;
    line = text.substr(position, end - position);
    position = end + 1;
    return true;
}

std::string_view as_text(const uint8_t* payload, size_t length)
{
    return std::string_view(reinterpret_cast<const char*>(payload), length);
}

size_t finish(int written, size_t room, bool count_terminator)
{
    if (written < 0 || static_cast<size_t>(written) >= room)
        return 0;
    return static_cast<size_t>(written) + (count_terminator ? 1 : 0);
}

bool parse_decimal(std::string_view text, int64_t& value)
{
    if (text.empty())
        return false;
    int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        int digit = c - '0';
        if (result > (INT64_MAX - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

}  // namespace

bool has_tag(const uint8_t* payload, size_t length, const char* tag)
{
    return length >= TAG_SIZE && std::memcmp(payload, tag, TAG_SIZE) == 0;
}

size_t build_discovery(uint8_t* payload, size_t room, const char* label)
{
    return finish(std::snprintf(reinterpret_cast<char*>(payload), room, "DSCV\n\n\n%s\n", label), room,
                  true);
}

size_t build_offer(uint8_t* payload, size_t room, bool keep)
{
    return finish(std::snprintf(reinterpret_cast<char*>(payload), room, "OFFR\n\n%s", keep ? "keep\n" : ""),
                  room, true);
}

size_t build_file_announcement(uint8_t* payload, size_t room, const char* name, int64_t size)
{
    return finish(std::snprintf(reinterpret_cast<char*>(payload), room, "FILE\n%s\n%" PRId64 "\n", name,
                                size),
                  room, false);
}

bool parse_discovery(const uint8_t* payload, size_t length, discovery_lines& out)
{
    if (!has_tag(payload, length, "DSCV"))
        return false;
    std::string_view text = as_text(payload, length);
    size_t position = 0;
    std::string_view tag_line, lines[3];
    if (!next_line(text, position, tag_line))
        return false;
    for (std::string_view& line : lines) {
        if (!next_line(text, position, line) || line.size() >= DISCOVERY_LINE_LIMIT)
            return false;
    }
    out.reserved_first.assign(lines[0]);
    out.reserved_second.assign(lines[1]);
    out.label = printable_text(lines[2]);
    return true;
}

bool parse_offer(const uint8_t* payload, size_t length, bool& keep)
{
    keep = false;
    if (!has_tag(payload, length, "OFFR"))
        return false;
    std::string_view text = as_text(payload, length);
    size_t position = 0;
    std::string_view line;
    if (!next_line(text, position, line) || !next_line(text, position, line))
        return false;
    // The third line may end at the terminating NUL instead of a newline.
    std::string_view rest = text.substr(position);
    keep = rest.substr(0, rest.find_first_of(std::string_view("\n\0", 2))) == "keep";
    return true;
}

bool parse_file_announcement(const uint8_t* payload, size_t length, file_announcement& out)
{
    out = file_announcement{};
    if (!has_tag(payload, length, "FILE"))
        return false;
    std::string_view text = as_text(payload, length);
    size_t position = 0;
    std::string_view tag_line, name, size;
    if (!next_line(text, position, tag_line) || !next_line(text, position, name) ||
        !next_line(text, position, size))
        return false;
    int64_t value = 0;
    // A longer name cut short could mean another file, a script where a package was sent.
    if (name.size() > FILE_NAME_LIMIT || !parse_decimal(size, value))
        return false;
    out.name.assign(name);
    out.size = value;
    return true;
}

bool announces_again(const conversation& conv, const uint8_t* message, size_t length)
{
    if (length < HEADER_SIZE)
        return false;
    message_header header = read_header(message);
    return header.source == conv.peer_mac && header.destination == NO_MAC && header.kind == KIND_CONTROL &&
           header.length == length - HEADER_SIZE && has_tag(message + HEADER_SIZE, header.length, "DSCV");
}
