#pragma once

#include "setup/disk/disk_info.h"

// Mounts the disk's root file system on `target` and, with `with_boot`, the boot partition of the
// two-partition layout on target/boot. Whatever partition 1 or 2 holds decides the layout.
bool mount_target(const disk_info& disk, const char* target, bool with_boot);
