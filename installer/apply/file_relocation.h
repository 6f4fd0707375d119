#pragma once
#include <string>

#include "installer/state/run_context.h"

// Moves the package's files into the area prefix ("/x/NAME") or, when enabling, back to their
// live places, and replaces the file set with the new paths. A file that cannot be moved stays
// in the set under its old path.
void relocate_files(run_context& context, installed_package& package, const std::string& prefix, bool enable);
