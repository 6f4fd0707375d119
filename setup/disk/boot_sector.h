#pragma once

#include <cstddef>

constexpr size_t SECTOR_SIZE = 512;
// Where the partition table starts in the first sector; everything before it belongs to the boot
// program and its cleared tail.
constexpr size_t PARTITION_TABLE_OFFSET = 446;

// Reads the first sector of the device into `sector`. Reports failures on the error stream.
bool read_boot_sector(const char* device, unsigned char* sector);

// Writes `sector` over the first sector of the device. Reports failures on the error stream.
bool write_boot_sector(const char* device, const unsigned char* sector);

// Puts the boot program into bytes 0 to 183 of the device's first sector and clears the rest up to
// the partition table, which stays as it was together with the signature.
bool install_boot_program(const char* device);
