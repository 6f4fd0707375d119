#pragma once

// The control payloads of the installation protocol: building them, and reading the ones a peer
// sent. Payload buffers belong to the callers; parsed records own their texts.

#include <cstddef>
#include <cstdint>
#include <string>

#include "setup/netinstall/wire/conversation.h"

constexpr size_t TAG_SIZE = 4;
// Texts of a DSCV announcement are shorter than this.
constexpr size_t DISCOVERY_LINE_LIMIT = 32;
constexpr size_t FILE_NAME_LIMIT = 80;
constexpr size_t DATA_BLOCK_SIZE = 1452;
constexpr const char* SCRIPT_FILE_NAME = "autorun.scr";

// True when the payload begins with the four bytes of `tag` ("FILE", "TERM", ...).
bool has_tag(const uint8_t* payload, size_t length, const char* tag);

// DSCV with empty reserved lines; returns the payload length (the terminating NUL counts).
size_t build_discovery(uint8_t* payload, size_t room, const char* label);
// OFFR with an empty reserved line and "keep" when asked; the length counts the NUL.
size_t build_offer(uint8_t* payload, size_t room, bool keep);
// FILE with the name and the size in decimal; no NUL is sent.
size_t build_file_announcement(uint8_t* payload, size_t room, const char* name, int64_t size);

// What a router says of itself. The label is already stripped of anything a terminal would act on.
struct discovery_lines {
    std::string reserved_first;
    std::string reserved_second;
    std::string label;
};
bool parse_discovery(const uint8_t* payload, size_t length, discovery_lines& out);

// An offer must hold its tag line and a reserved line; `keep` tells whether a third line "keep"
// follows.
bool parse_offer(const uint8_t* payload, size_t length, bool& keep);

struct file_announcement {
    std::string name;  // as sent
    int64_t size = 0;
};
// A missing line, a name longer than FILE_NAME_LIMIT, or a size that is not a plain decimal number
// within int64_t, fails.
bool parse_file_announcement(const uint8_t* payload, size_t length, file_announcement& out);

// A DSCV from the chosen router after its offer was accepted: it missed every acknowledgement of its
// YACK and went back to looking for a server, so it wants the same offer again.
bool announces_again(const conversation& conv, const uint8_t* message, size_t length);
