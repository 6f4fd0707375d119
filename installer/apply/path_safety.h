#pragma once
#include <string>

// A package name becomes a directory under /var/pdb/ and /x/ and a token in text records: it may
// not be empty, hidden from the database listing, contain "/", blanks or control characters.
bool is_safe_package_name(const std::string& name);
// A record path stays inside the tree it is installed into, and survives the line-based files
// list: no ".." component, no NUL, no line break.
bool is_safe_record_path(const std::string& path);
