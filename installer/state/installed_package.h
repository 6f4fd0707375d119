#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "common/package_header.h"

enum scheduled_action : std::int32_t {
    ACTION_NONE = 0,
    ACTION_UNINSTALL = 1,
    ACTION_ENABLE = 2,
    ACTION_DISABLE = 3,
};

// A package as the database under /var/pdb/ knows it.
class installed_package : public package_header {
public:
    std::set<std::string> files;       // absolute paths, byte-wise order; empty for a bundle record
    dependency_entry bundle;           // the bundle it came from; empty name: none
    bool disabled = false;
    std::int32_t action = ACTION_NONE; // a scheduled_action
};
