#pragma once

#include <string>

// Spoils one block of a part file on purpose, for tests: the first byte of the data area of block
// `block` (counted within the group, parity blocks last) of group `group` is inverted, so that the
// block's checksum no longer matches. False, with the reason on standard error, when the part has
// no such block.
bool damage_block(const std::string& part, unsigned group, unsigned block);
