#pragma once
#include <functional>
#include <string>
#include <sys/stat.h>

struct tree_entry {
    std::string full_path;
    std::string package_path;  // "/" and the path below the tree's root
    struct stat status;        // of the entry itself, never of what a link points to
};

// Visits every entry below root (not root itself), parents before their contents and each folder's
// entries in byte order of their names, so that the same tree always gives the same package. Only
// one folder's names are held at a time per level. Stops at the first failure, which is reported
// by whoever detects it; returns success.
bool walk_tree(const std::string& root, const std::function<bool(const tree_entry&)>& visit);
