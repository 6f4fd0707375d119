#pragma once

#include "setup/flows/setup_context.h"

// The installation flows that select_mode chooses from. Each returns true when the software was
// installed; a flow reports its own failures.
bool floppy_installation(setup_context& context);
// Feeds every part of a floppy set, in order, to one installer run on "/mnt".
bool install_floppy_set(setup_context& context);
bool cdrom_installation(setup_context& context);  // after find_target_disk has succeeded
bool hard_disk_installation(setup_context& context);
bool remote_installation(setup_context& context);
