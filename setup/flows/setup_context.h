#pragma once

// The state of one run of setup. The entry point creates the setup_context and passes it to every
// flow; the flows fill in the target disk and, on floppies, the header of the set being read. The
// two process-wide values below are set up at start and read by the signal handlers.

#include <csignal>
#include <cstdint>

#include "common/floppy_part_header.h"
#include "setup/disk/disk_info.h"
#include "setup/tui/terminal_mode.h"

// One per run, created by the entry point and passed to every flow. A value-initialised context is
// the one a run starts with.
struct setup_context {
    floppy_set_header set_header;  // of the floppy part read last
    disk_info target_disk;
};

// Set once the flow has returned (the remote installation sets it itself as soon as its disk is
// complete). Until then an interrupt aborts the installation; afterwards interrupts are ignored.
extern volatile sig_atomic_t installation_finished;

// The one terminal of the run, created at start-up, not raw.
extern terminal_state console_terminal;
