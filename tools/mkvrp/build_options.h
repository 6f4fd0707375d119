#pragma once
#include <cstdint>

// How the command line asks a package to be built, over what the manifest says.
struct build_options {
    // Builders are rarely root, so the owner of every file can be set for the whole package.
    bool override_owner = false;
    std::uint16_t uid = 0;
    std::uint16_t gid = 0;
};
