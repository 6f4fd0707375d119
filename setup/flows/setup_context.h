#pragma once

#include <csignal>
#include <cstdint>

#include "setup/disk/disk_info.h"
#include "setup/tui/terminal.h"

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

// Prints the message as it is, flushes, and prints one dot per second until progress_stop.
void progress_start(setup_context& context, const char* message);
// Ends the line of dots.
void progress_stop(setup_context& context);

// Raw mode, cursor hidden, cleared screen, the welcome line with the subtitle and the abort hint.
void show_welcome(setup_context& context, const char* subtitle);
// The warning and "Continue?"; true when the user agrees to erase the disk.
bool confirm_erase(setup_context& context);
// "Do you want to keep old configuration? "; true for yes.
bool ask_keep_config();

// Runs the one flow the media ask for (argument "-hdd-install", the first line of "/TYPE") and the
// steps after it, up to the wait for Enter where the mode needs it.
void select_mode(setup_context& context, int argc, char** argv);
