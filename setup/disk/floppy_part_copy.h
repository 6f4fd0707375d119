#pragma once

#include <cstdio>

#include "common/floppy_part_header.h"

// Reads one part of a floppy set from `part`, checks and mends every group, and only then writes
// the payload to `installer`. `set_header` is the header of the part read last; it takes the new
// part's header only when the part is accepted, so a floppy of another set or a damaged one leaves
// the set as it was. Mended blocks are noted on the log device.
// Returns the payload length on success, 0 for a bad part (ask for the floppy again), -1 when
// writing to `installer` failed.
int copy_floppy_part(floppy_set_header& set_header, std::FILE* part, std::FILE* installer);
