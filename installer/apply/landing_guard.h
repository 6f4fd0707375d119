#pragma once
#include <string>
#include <vector>

// The places no file of a package may land on, by any route: the package database and the
// disabled-files area, under their own names and under the names their links lead to. Built once
// per installation or relocation from what is on disk then.
class landing_guard {
public:
    landing_guard();
    // False when the canonical absolute path is one of those places or lies below one.
    bool may_land(const std::string& path) const;
    // Where an existing directory really is, every link followed; false when it cannot be resolved.
    bool resolve_directory(const std::string& path, std::string& resolved) const;

private:
    std::vector<std::string> forbidden_;
};

constexpr const char* DISABLED_AREA_ROOT = "/x";
