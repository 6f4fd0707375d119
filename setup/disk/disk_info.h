#pragma once

#include <cstdint>

// One detected disk. A value-initialised record (`disk_info{}`) is the cleared disk: empty device,
// zero cylinders, both flags false.
struct disk_info {
    char device[32] = {};  // whole-disk device path, such as "/dev/hda"
    uint32_t cylinders = 0;
    uint32_t cylinder_bytes = 0;  // heads x sectors per track x 512
    bool two_partitions = false;  // more than 1023 cylinders: separate boot partition
    bool journal = false;         // larger than 40 MiB: ext3 instead of ext2
};
