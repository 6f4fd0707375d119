#pragma once
#include <string>

#include "installer/state/run_context.h"

// Moves the package's files into the area prefix ("/x/NAME") or, when enabling, back to their
// live places, and replaces the file set with the new paths. A file that cannot be moved stays
// in the set under its old path. Each path may already be on either side (a move cut short by a
// power cut): a file already where it goes is taken as moved, so running it again finishes it.
void relocate_files(run_context& context, installed_package& package, const std::string& prefix, bool enable);

// Whether every move can be made without following a link: the area's directories must be real
// directories of their own, and no live place may lead into the database or the area. Reports
// the first fault as the refusal of the operation named by word.
bool relocation_is_safe(run_context& context, const installed_package& package, const std::string& prefix,
                        bool enable, const char* word);
