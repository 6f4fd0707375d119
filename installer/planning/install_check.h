#pragma once
#include "common/package_header.h"
#include "installer/state/run_context.h"

// Bits of the result of check_install. Given as its mask, the same bits silence the matching
// reports; 0x1, 0x2 and 0x4 coincide with FLAG_UPGRADE, FLAG_DOWNGRADE and FLAG_RECOVER.
enum check_result : unsigned {
    CHECK_NEWER = 0x1,
    CHECK_OLDER = 0x2,
    CHECK_SAME = 0x4,
    CHECK_UNUSABLE = 0x8,
    CHECK_CONFLICT = 0x10,
};

constexpr unsigned CHECK_SILENT = ~0u;
constexpr const char* SYSTEM_ARCHITECTURE = "i386";

// Whether the candidate may be installed next to what is installed; reports at most one
// problem (warning or error) unless the mask silences it.
unsigned check_install(run_context& context, const package_header& candidate, unsigned mask);
