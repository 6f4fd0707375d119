#pragma once
#include <string>
#include <string_view>

#include "installer/state/run_context.h"

// Records which files running processes hold open or mapped.
void scan_files_in_use(run_context& context);
bool is_in_use(const run_context& context, std::string_view path);
// The name of the first installed package whose file set holds the path; empty when none.
// Looks through every package: for many lookups build a file_owner_index instead.
std::string owner_of(const run_context& context, const std::string& path);
