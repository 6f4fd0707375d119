#pragma once
#include <string>

// Mode of every directory the installer creates on its own behalf.
constexpr unsigned INSTALLER_DIRECTORY_MODE = 0770;

// Creates path and its missing parents; an existing directory is not a failure.
bool make_directories(const std::string& path);
// Removes path, then each parent, up to the first that cannot be removed or "/".
void remove_empty_directories(const std::string& path);
// Removes every empty directory in the tree at path (path included, symbolic links not followed),
// then its parents as remove_empty_directories does.
void prune_empty_directories(const std::string& path);
// The directory part of an absolute path ("/" for "/a").
std::string parent_directory(const std::string& path);
