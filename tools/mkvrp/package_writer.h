#pragma once
#include <string>

#include "tools/mkvrp/build_options.h"
#include "tools/mkvrp/manifest.h"

// Writes the package or bundle the manifest describes; on failure the partial output is removed.
bool write_package(const manifest& description, const std::string& output_path, const build_options& options);
