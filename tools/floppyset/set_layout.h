#pragma once

// How a floppy set is cut: the room on each floppy and the block and group shape of every part.
// Filled from the command line and read by the writer; a plain value owned by the caller.

#include <cstdint>

// The data area of a 1.44 MB floppy formatted FAT12 (2,847 clusters of 512 bytes): the largest
// part file that fits on it.
constexpr std::uint64_t DEFAULT_PART_CAPACITY = 1457664;

struct set_layout {
    std::uint64_t capacity = DEFAULT_PART_CAPACITY;  // largest part file, header included
    std::uint16_t block_size = 512;  // including the 4-byte checksum
    std::uint16_t blocks_per_group = 16;
    std::uint16_t parity_blocks = 1;
    std::uint32_t set_identifier = 0;
    bool identifier_given = false;  // otherwise derived from the stream
};
