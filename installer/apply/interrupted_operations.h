#pragma once
#include "installer/state/run_context.h"

// Finishes the package operations a power cut left half done, before anything else of the run
// looks at the packages: an install whose record was complete is finished (its install script
// run), any other interrupted install or uninstall is completed as an uninstall, and an
// interrupted disable or enable is carried out again. Each is reported with a warning. Requests
// read from the schedule files are kept for the change plan.
void finish_interrupted_operations(run_context& context);
