#pragma once

// Checking, mending and sealing one group of a floppy part. A group is held as it is stored:
// `blocks_per_group` blocks of `block_size` bytes in a row, each a data area followed by the
// little-endian CRC-32 of that area; the last `parity_blocks` blocks are parity.

#include "common/floppy_part_header.h"

enum class group_state { intact, repaired, ruined };

struct group_check {
    group_state state = group_state::intact;
    int repaired_block = -1;  // index within the group of the data block rebuilt from parity
};

// Checks every block of the group; rebuilds one damaged data block in place from a single parity
// block. More damage than that, or a damaged data block without exactly one parity block, ruins the
// group. A damaged parity block alone leaves the data intact.
group_check verify_floppy_group(unsigned char* group, const floppy_set_header& header);

// Computes the parity blocks (each the XOR of the data areas) and every checksum of a group whose
// data areas are filled in.
void seal_floppy_group(unsigned char* group, const floppy_set_header& header);
