#pragma once

#include "installer/planning/change_plan.h"
#include "installer/state/run_context.h"

// Plans and carries out the scheduled actions.
void apply_changes(run_context& context, report_level level);
