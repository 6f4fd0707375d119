#pragma once
#include <memory>
#include <string>

#include "installer/state/run_context.h"

// The context's array of installed records, in load and install order; the context owns them.
void append_installed(run_context& context, std::unique_ptr<installed_package> record);
// Index of the first record of that name, -1 when none.
int find_installed_index(const run_context& context, const std::string& name);
installed_package* find_installed_record(const run_context& context, const std::string& name);
// Removes entries [first, last) and destroys them.
void remove_installed(run_context& context, int first, int last);
// Takes a record out of the array by identity without destroying it; empty when it is not there.
std::unique_ptr<installed_package> take_installed(run_context& context, const installed_package* record);
