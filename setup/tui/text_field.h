#pragma once

// Edited lines of text. At end of input a field takes what was typed so far, and read_address takes
// its default (0 when there is none).

#include <cstddef>
#include <cstdint>

void edit_field(const char* label, const char* default_text, char* out, size_t size);
// Returns the address in network byte order; default_address (also in network order) 0 means none.
uint32_t read_address(const char* label, uint32_t default_address);
