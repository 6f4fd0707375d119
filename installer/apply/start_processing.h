#pragma once
#include "installer/frontend/run_context.h"

// The boot-time run: install what the repository holds.
void process_repository(run_context& context, unsigned flags);
// Writes the message log of the run to /postlog.
void write_postlog(run_context& context);
