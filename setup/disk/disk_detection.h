#pragma once

#include <cstdint>
#include <cstdio>

#include "setup/disk/disk_info.h"

// Up to this many disks are recorded from the partitioning tool's "-g" output.
constexpr int MAX_DISKS = 4;

// Above this many cylinders the disk gets a separate boot partition.
constexpr uint32_t MAX_SINGLE_PARTITION_CYLINDERS = 1023;
// Disks larger than this (40 MiB) get ext3 with a journal instead of ext2.
constexpr uint64_t JOURNAL_THRESHOLD_BYTES = 41943040;

// Asks "/sbin/sfdisk -g" for the disks and their geometry. Returns the first record of the disk
// table, or null when no disk was found. The table is reused (and refilled) by later calls.
disk_info* detect_disks();

// Fills `table` (at most MAX_DISKS records) from "-g" output lines; returns how many were filled.
int read_disk_geometry(FILE* tool_output, disk_info* table);

// Stores the geometry and derives the layout flags from it.
void set_geometry(disk_info& disk, uint32_t cylinders, uint32_t cylinder_bytes);

// The name to show the user for a whole-disk device path.
const char* disk_display_name(const char* device);
