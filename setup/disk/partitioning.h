#pragma once

#include <cstdint>
#include <cstdio>

#include "setup/disk/disk_info.h"

// The boot partition of the two-partition layout holds at least this much.
constexpr uint32_t BOOT_PARTITION_BYTES = 10485760;

// Cylinders of the boot partition: 10 MiB rounded up to whole cylinders.
uint32_t boot_partition_cylinders(const disk_info& disk);

// Whether the disk's geometry leaves room for every partition of its layout.
bool layout_fits(const disk_info& disk);

// Counts the partition entries ("/dev/" lines) of a "-d" dump.
int count_partition_entries(FILE* dump);

// Writes the new table in the partitioning tool's input form (start, size, type, bootable mark in
// cylinders), followed by an empty entry for each of the `old_entries` that the new layout leaves
// over.
void write_partition_table(FILE* tool_input, const disk_info& disk, int old_entries);

// Gives the disk its fresh partition table. False when the tool can't be started, the geometry
// leaves no room for the layout, or the tool rejects the table.
bool partition_disk(const disk_info& disk);

// Creates the file systems of the layout; false when a mke2fs run fails.
bool format_disk(const disk_info& disk);

// The device of partition `number` of the disk ("/dev/hda" and 1 give "/dev/hda1").
void partition_device(const disk_info& disk, int number, char* buffer, size_t size);
