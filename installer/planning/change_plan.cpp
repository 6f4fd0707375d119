#include "installer/planning/change_plan.h"

void apply_changes(run_context&, int) {}
