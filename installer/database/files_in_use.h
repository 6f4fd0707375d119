#pragma once
#include <string>
#include <string_view>

#include "installer/state/run_context.h"

// Records which files running processes hold open or mapped.
void scan_files_in_use(run_context& context);
bool is_in_use(const run_context& context, std::string_view path);
