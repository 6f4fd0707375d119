#pragma once
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "installer/state/installed_package.h"

// The one process-wide state of installer: what is installed (the context owns the records), what
// running processes hold open, and the console's progress line and message log. Every layer is
// handed it; only the front end creates it.
struct run_context {
    std::vector<std::unique_ptr<installed_package>> installed;
    std::set<std::string, std::less<>> files_in_use;
    std::string progress_line;
    std::vector<std::string> message_log;
    bool quiet = false;
    std::FILE* console = stdout;  // where every message and the progress line go
};

// Created on first use, never destroyed.
run_context& get_run_context();

// Bits handed to the install operations; the same values silence matching install-check reports.
enum install_flag : unsigned {
    FLAG_UPGRADE = 0x1,
    FLAG_DOWNGRADE = 0x2,
    FLAG_RECOVER = 0x4,
};
