#pragma once

#include "setup/flows/setup_context.h"

// The CD-ROM flow, after find_target_disk has succeeded. True when the software was installed; the
// flow reports its own failures.
bool cdrom_installation(setup_context& context);
