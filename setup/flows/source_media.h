#pragma once

// Finds the medium that holds the packages: the first device of the list that mounts on "/floppy"
// with the given file system type and flags. Returns its device path, or null when none mounts.
const char* mount_source_medium(const char* type, unsigned long flags);
