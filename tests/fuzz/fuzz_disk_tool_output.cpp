// Whatever the partitioning tool prints must leave the disk table with terminated device names and
// consistent layout flags, and the dump count within the lines given.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_target.h"
#include "setup/disk/disk_detection.h"
#include "setup/disk/partitioning.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!stream)
        return 0;
    disk_info table[MAX_DISKS];
    int disks = read_disk_geometry(stream, table);
    if (disks < 0 || disks > MAX_DISKS)
        abort();
    for (int i = 0; i < disks; ++i) {
        if (memchr(table[i].device, '\0', sizeof table[i].device) == nullptr)
            abort();
        if (table[i].two_partitions != (table[i].cylinders > 1023))
            abort();
        if (layout_fits(table[i]) && table[i].two_partitions &&
            boot_partition_cylinders(table[i]) >= table[i].cylinders)
            abort();
    }
    rewind(stream);
    int entries = count_partition_entries(stream);
    fclose(stream);
    if (entries < 0 || std::size_t(entries) > size / 5)
        abort();
    return 0;
}
