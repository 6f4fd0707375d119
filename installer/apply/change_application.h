#pragma once

#include "installer/state/run_context.h"

// Plans and carries out the scheduled actions; level 1 shows progress and refusals, 0 is silent.
void apply_changes(run_context& context, int level);
