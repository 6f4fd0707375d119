#include "setup/disk/boot_sector.h"

#include <cstdio>
#include <cstring>

#include "setup/disk/boot_program.h"

bool read_boot_sector(const char* device, unsigned char* sector)
{
    FILE* stream = fopen(device, "rb");
    if (!stream) {
        perror("could not open MBR");
        return false;
    }
    size_t blocks = fread(sector, SECTOR_SIZE, 1, stream);
    // The error text must be taken before fclose can change errno.
    if (blocks != 1)
        perror("could not read MBR");
    fclose(stream);
    return blocks == 1;
}

bool write_boot_sector(const char* device, const unsigned char* sector)
{
    // "r+" rather than "w": a device opened for writing must not be truncated, and an image file
    // standing in for one keeps everything behind its first sector.
    FILE* stream = fopen(device, "r+b");
    if (!stream) {
        perror("could not open MBR");
        return false;
    }
    // The buffered block only reaches the device when the stream is closed, so a failed close is
    // as much a failed write as a short fwrite.
    bool written = fwrite(sector, SECTOR_SIZE, 1, stream) == 1 && fflush(stream) == 0;
    if (!written)
        perror("could not write MBR");
    if (fclose(stream) != 0 && written) {
        perror("could not write MBR");
        written = false;
    }
    return written;
}

bool install_boot_program(const char* device)
{
    unsigned char sector[SECTOR_SIZE];
    if (!read_boot_sector(device, sector))
        return false;
    memcpy(sector, BOOT_PROGRAM, BOOT_PROGRAM_SIZE);
    memset(sector + BOOT_PROGRAM_SIZE, 0, PARTITION_TABLE_OFFSET - BOOT_PROGRAM_SIZE);
    return write_boot_sector(device, sector);
}
