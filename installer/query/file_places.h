#pragma once
#include <string>

#include "installer/state/run_context.h"

// The places one recorded path of a package stands for. A disabled package records its files
// under its area "/x/NAME"; an enabled one records them in place. A recorded path of a disabled
// package outside its area (only a damaged database holds one) stays where it is recorded.
struct file_places {
    std::string path;      // the package's own path: where the file is when the package is enabled
    std::string expected;  // where the package's state puts it: the recorded path
    std::string other;     // the place it must not also be in; empty when there is none
};

file_places places_of(const installed_package& package, const std::string& recorded);
