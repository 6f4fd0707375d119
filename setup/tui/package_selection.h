#pragma once

// The selection rules of the package menu, on the selected flags of a package_list's entries.
// Nothing here draws; the menu redraws after a rule that changed something.

#include <string_view>

#include "setup/tui/package_list.h"

// The package that every selection keeps.
constexpr std::string_view SYSTEM_PACKAGE = "system";

void select_all(package_list& list);
// Everything deselected except the first "system" entry.
void select_minimum(package_list& list);
// Selects the entry and its direct dependencies among the entries.
void select_with_dependencies(package_list& list, package_entry& entry);
// Flips the entry: selecting takes its direct dependencies along, deselecting takes its direct
// dependents along; a selected "system" stays, and so does a package that a selected "system"
// depends on. False when nothing changed.
bool toggle_package(package_list& list, package_entry& entry);
// Selects, as select_with_dependencies does, the packages named in the file "defpacks" of the
// list's directory; a missing file changes nothing.
void select_default_packages(package_list& list);
