#pragma once

#include "setup/flows/setup_context.h"

// The hard disk flow. True when the software was installed; the flow reports its own failures.
bool hard_disk_installation(setup_context& context);
