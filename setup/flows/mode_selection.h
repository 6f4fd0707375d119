#pragma once

#include "setup/flows/setup_context.h"

// Runs the one flow the media ask for (argument "-hdd-install", the first line of "/TYPE") and the
// steps after it, up to the wait for Enter where the mode needs it.
void select_mode(setup_context& context, int argc, char** argv);
