#pragma once
#include <string>

#include "installer/state/run_context.h"

// Names the package operation under way in the package's record directory (the hidden file
// ".operation", beside the hidden temporaries of record writes), so that a start after a power cut
// knows which package is half done and how to finish it. One word: "install", "uninstall",
// "disable" or "enable". Written before the first change on disk, removed after the last.
constexpr const char* OPERATION_JOURNAL = ".operation";

void begin_operation(const installed_package& package, const char* word);
void end_operation(const installed_package& package);
// The word of an operation left unfinished; empty when none.
std::string interrupted_operation(const installed_package& package);
