#include "setup/disk/partitioning.h"

#include <cstring>
#include <sys/wait.h>

#include "setup/support/process_runner.h"

namespace {

constexpr size_t DUMP_LINE_SIZE = 256;
constexpr size_t DEVICE_BUFFER_SIZE = 80;

}  // namespace

uint32_t boot_partition_cylinders(const disk_info& disk)
{
    if (disk.cylinder_bytes == 0)
        return 0;
    return uint32_t((uint64_t(disk.cylinder_bytes) + BOOT_PARTITION_BYTES - 1) / disk.cylinder_bytes);
}

bool layout_fits(const disk_info& disk)
{
    if (disk.cylinders == 0 || disk.cylinder_bytes == 0)
        return false;
    // The cylinder counts go to the tool as signed numbers.
    if (disk.cylinders > uint32_t(INT32_MAX))
        return false;
    return !disk.two_partitions || boot_partition_cylinders(disk) < disk.cylinders;
}

void partition_device(const disk_info& disk, int number, char* buffer, size_t size)
{
    snprintf(buffer, size, "%s%d", disk.device, number);
}

int count_partition_entries(FILE* dump)
{
    int entries = 0;
    char line[DUMP_LINE_SIZE];
    bool line_start = true;
    while (fgets(line, sizeof line, dump)) {
        // Only the beginning of a line counts; the tail of an overlong line is not a new entry.
        if (line_start && strncmp(line, "/dev/", 5) == 0)
            ++entries;
        line_start = strchr(line, '\n') != nullptr;
    }
    return entries;
}

void write_partition_table(FILE* tool_input, const disk_info& disk, int old_entries)
{
    int first_empty;
    if (disk.two_partitions) {
        int boot = int(boot_partition_cylinders(disk));
        fprintf(tool_input, "0,%d,83,*\n", boot);
        fprintf(tool_input, "%d,%d,83,*\n", boot, int(disk.cylinders) - boot);
        first_empty = 2;
    } else {
        fprintf(tool_input, "0,%d,83,*\n", int(disk.cylinders));
        first_empty = 1;
    }
    for (int entry = first_empty; entry < old_entries; ++entry)
        fputs("0,0,0\n", tool_input);
}

bool partition_disk(const disk_info& disk)
{
    // A negative or empty partition would reach the tool otherwise; refuse before touching the
    // table so that the old one stays intact.
    if (!layout_fits(disk))
        return false;

    FILE* dump = pipe_from("/sbin/sfdisk", "-d", "-uC", disk.device, nullptr);
    if (!dump)
        return false;
    int old_entries = count_partition_entries(dump);
    close_pipe(dump);

    FILE* tool = pipe_to("/sbin/sfdisk", "-q", "-uC", disk.device, ">null", nullptr);
    if (!tool)
        return false;
    write_partition_table(tool, disk, old_entries);
    int status = close_pipe(tool);
    // A table the tool rejected must not pass for a partitioned disk. -1 means the child was
    // reaped elsewhere and its verdict is unknown; the formatting step will still notice a disk
    // without partitions.
    return status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

bool format_disk(const disk_info& disk)
{
    char first[DEVICE_BUFFER_SIZE];
    char second[DEVICE_BUFFER_SIZE];
    partition_device(disk, 1, first, sizeof first);
    partition_device(disk, 2, second, sizeof second);

    auto make_file_system = [&](const char* device, bool journal) {
        int status = journal ? run_program(nullptr, "/sbin/mke2fs", "-j", device, nullptr)
                             : run_program(nullptr, "/sbin/mke2fs", device, nullptr);
        return status == 0;
    };
    if (!disk.two_partitions)
        return make_file_system(first, disk.journal);
    // The boot partition is always ext2: the boot loader reads it without a journal.
    if (!make_file_system(first, false))
        return false;
    return make_file_system(second, disk.journal);
}
