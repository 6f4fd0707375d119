#pragma once

// The state of one run of setup. The entry point creates the setup_context and passes it to every
// flow; the flows fill in the target disk and, on floppies, the header of the set being read. The
// two process-wide values below are set up at start and read by the signal handlers.

#include <csignal>
#include <cstdint>

#include "setup/disk/disk_info.h"
#include "setup/tui/terminal_mode.h"

// The header of the floppy set part read last (32 bytes on the floppy, little-endian there).
struct floppy_set_header {
    uint32_t magic = 0;
    uint32_t payload_length = 0;
    uint32_t set_identifier = 0;
    uint16_t part_index = 0;
    uint16_t part_count = 1;  // before the first part: a set of one
    uint16_t block_size = 0;
    uint16_t blocks_per_group = 0;
    uint16_t parity_blocks = 0;
    uint8_t reserved[10] = {};
};

// One per run, created by the entry point and passed to every flow. A value-initialised context is
// the one a run starts with.
struct setup_context {
    floppy_set_header set_header;
    disk_info target_disk;
};

// Set once the flow has returned (the remote installation sets it itself as soon as its disk is
// complete). Until then an interrupt aborts the installation; afterwards interrupts are ignored.
extern volatile sig_atomic_t installation_finished;

// The one terminal of the run, created at start-up, not raw.
extern terminal_state console_terminal;
