#pragma once
#include <map>
#include <optional>
#include <string>

#include "installer/state/run_context.h"

class part_reader;

// Name of each package installed before a repository run, and whether it was disabled.
using previous_states = std::map<std::string, bool>;

// How installing a package or bundle file ended; the values are the program's exit statuses.
enum install_result : int {
    INSTALL_DONE = 0,
    INSTALL_FAILED = 1,
    INSTALL_REFUSED = 2,    // a bundle refused by its checks
    INSTALL_NO_MEMBER = 3,  // a bundle none of whose members was installed
};

// Installs the package whose PART_PACKAGE the reader stands on; bundle is the membership a
// bundle's member gets (null for a single package). The name of the package now installed under
// that name (the new one, or the one kept when this one is omitted), or nothing.
std::optional<std::string> install_single(run_context& context, part_reader& reader, unsigned flags,
                                          const previous_states& previous, const dependency_entry* bundle);

// Uninstalls and drops the installed package of that name; false when there is none.
bool replace_installed(run_context& context, const std::string& name);

// Moves the reader on to the next member's PART_PACKAGE, or to the end of the file.
void skip_to_next_member(part_reader& reader);
