#pragma once
#include "installer/frontend/run_context.h"

// Plans and carries out the scheduled actions of the installed packages.
void apply_changes(run_context& context, int level);
