#pragma once
#include <cstdint>
#include <string>

#include "common/package_header.h"

// A package file found in a repository directory, known by its headers and where it lies. The
// repository scan makes them; the repository list of a run owns them.
class repository_package : public package_header {
public:
    std::string path;             // where the file is read from now
    std::string repository_path;  // where it was before staging into RAM; empty until then
    std::uint32_t file_size = 0;  // from the file header
    bool is_nodb = false;
};

// Reads the header of the package, or of a bundle and every package it holds, from the file at
// path. Fails on a size that differs from the file header, a missing header or a short read.
bool read_file_summary(const std::string& path, repository_package& record);
