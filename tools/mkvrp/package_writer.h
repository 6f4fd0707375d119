#pragma once
#include <cstdint>
#include <string>

#include "tools/mkvrp/manifest.h"

struct build_options {
    // Builders are rarely root, so the owner of every file can be set for the whole package.
    bool override_owner = false;
    std::uint16_t uid = 0;
    std::uint16_t gid = 0;
};

// Writes the package or bundle the manifest describes; on failure the partial output is removed.
bool write_package(const manifest& description, const std::string& output_path, const build_options& options);
