#pragma once
#include "installer/state/run_context.h"

constexpr const char* POSTLOG_PATH = "/postlog";

// Appends the lines of the last run's /postlog to the message log, then reserves the file.
void load_postlog(run_context& context);
// Writes the message log of this run to /postlog.
void write_postlog(run_context& context);
