#pragma once
#include <string>

#include "common/package_header.h"

// A package name becomes a directory under /var/pdb/ and /x/ and a token in text records: it may
// not be empty, hidden from the database listing, contain "/", blanks or control characters.
bool is_safe_package_name(const std::string& name);
// A record path stays inside the tree it is installed into, and survives the line-based files
// list: no ".." component, no NUL, no line break.
bool is_safe_record_path(const std::string& path);
// Every dependency, provides and conflicts name is a token that the text records can hold: one
// that is empty or holds blanks would read back as a damaged record and get the package removed.
bool has_recordable_lists(const package_header& package);
// Why the absolute directory path cannot hold files of the disabled area, as an errno: ELOOP at a
// symbolic link, ENOTDIR at anything else that is no directory, the error of a component that
// cannot be looked at; 0 when every component is a real directory. A missing component is a
// fault only when it must exist.
int directory_path_fault(const std::string& path, bool must_exist);
