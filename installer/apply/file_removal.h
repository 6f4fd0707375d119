#pragma once
#include <string>

#include "installer/state/run_context.h"

// The next free "/tmp/inst%u" name of this run.
std::string temporary_name();

// Deletes every file of the package's set; a file a running process holds stays reachable under
// a temporary name. Directories stay.
void remove_files(run_context& context, installed_package& package);
