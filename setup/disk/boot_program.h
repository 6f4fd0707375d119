#pragma once

#include <cstddef>

// The master boot program of the target disk, assembled from boot_program.asm at build time. It
// occupies bytes 0 to 183 of the first sector; the partition table follows at 446.
constexpr size_t BOOT_PROGRAM_SIZE = 184;
extern const unsigned char BOOT_PROGRAM[BOOT_PROGRAM_SIZE];
