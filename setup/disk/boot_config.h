#pragma once

#include "setup/disk/disk_info.h"

// Writes target/etc/lilo.conf for the disk's layout.
bool write_lilo_conf(const disk_info& disk, const char* target);

// Writes target/etc/fstab for the disk's layout, and the empty target/.nofsck on a journalled
// root.
bool write_fstab(const disk_info& disk, const char* target);
