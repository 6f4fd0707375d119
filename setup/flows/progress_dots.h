#pragma once

#include "setup/flows/setup_context.h"

// Prints the message as it is, flushes, and prints one dot per second until progress_stop.
void progress_start(setup_context& context, const char* message);
// Ends the line of dots.
void progress_stop(setup_context& context);
