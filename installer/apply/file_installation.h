#pragma once
#include <string>
#include <vector>

#include "installer/state/run_context.h"

class part_reader;

// Writes the file records of the PART_FILES part the reader stands on, recording every created
// path in the package's file set, and every directory it creates in created_directories (in
// order of creation). overwrite_in_the_way (a package that keeps no record, whose files no owner
// check could protect) replaces whatever is in the way without a word. On failure (reported) the
// created objects stay, so that uninstalling the package removes them.
bool install_files(run_context& context, installed_package& package, part_reader& reader,
                   bool overwrite_in_the_way, std::vector<std::string>& created_directories);
