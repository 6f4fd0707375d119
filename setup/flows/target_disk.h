#pragma once

#include "setup/flows/setup_context.h"

// Finds the disk to install on and stores it in the context; false when there is none.
bool find_target_disk(setup_context& context);
