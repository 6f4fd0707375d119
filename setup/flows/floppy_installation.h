#pragma once

#include "setup/flows/setup_context.h"

// The floppy flow: finds and prepares the target disk, then installs a floppy set. True when the
// software was installed; the flow reports its own failures.
bool floppy_installation(setup_context& context);
// Feeds every part of a floppy set, in order, to one installer run on "/mnt".
bool install_floppy_set(setup_context& context);
