#pragma once
#include <string>

#include "installer/frontend/run_context.h"

// Removes the files below directory that no installed package owns.
void collect_garbage(run_context& context, const std::string& directory);
