#pragma once

#include "setup/flows/setup_context.h"
#include "setup/tui/package_list.h"

// The installation flows that select_mode chooses from. Each returns true when the software was
// installed; a flow reports its own failures.
bool floppy_installation(setup_context& context);
// Feeds every part of a floppy set, in order, to one installer run on "/mnt".
bool install_floppy_set(setup_context& context);
bool cdrom_installation(setup_context& context);  // after find_target_disk has succeeded
bool hard_disk_installation(setup_context& context);
bool remote_installation(setup_context& context);

// The server role, asked for from the package menu: lists the routers on the network and installs
// the selected packages on the one the user picks. True unless an installation was started and
// failed; the menu is shown again either way.
bool install_remote_router(setup_context& context, package_list& list);
