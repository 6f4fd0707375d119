#pragma once
#include <string>
#include <string_view>

// The one spelling of an absolute path that ownership, collisions and collection compare: one "/"
// between components, no "." components, no trailing "/" ("/" stays "/"). ".." is left as it
// is: whether a path may hold it is the caller's decision, and it cannot be removed by text alone
// once links are involved.
std::string canonical_path(const std::string& path);

// True when canonical_path would return path unchanged; cheaper than building the copy.
bool is_canonical(std::string_view path);

// path is below directory or is directory itself (both canonical).
bool is_within(const std::string& path, const std::string& directory);
