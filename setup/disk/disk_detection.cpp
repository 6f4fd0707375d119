#include "setup/disk/disk_detection.h"

#include <cstring>

#include "setup/support/process_runner.h"

namespace {

constexpr size_t LINE_SIZE = 128;
constexpr size_t NAME_SIZE = 80;

disk_info* disk_table = nullptr;

// Reads one line of at most LINE_SIZE - 1 characters; the rest of a longer line is dropped so that
// its tail is never taken for a line of its own.
bool read_line(FILE* stream, char* line)
{
    if (!fgets(line, LINE_SIZE, stream))
        return false;
    if (!strchr(line, '\n') && !feof(stream)) {
        int c;
        while ((c = fgetc(stream)) != EOF && c != '\n') {
        }
    }
    return true;
}

}  // namespace

void set_geometry(disk_info& disk, uint32_t cylinders, uint32_t cylinder_bytes)
{
    disk.cylinders = cylinders;
    disk.cylinder_bytes = cylinder_bytes;
    disk.two_partitions = cylinders > MAX_SINGLE_PARTITION_CYLINDERS;
    disk.journal = uint64_t(cylinders) * cylinder_bytes > JOURNAL_THRESHOLD_BYTES;
}

int read_disk_geometry(FILE* tool_output, disk_info* table)
{
    int count = 0;
    char line[LINE_SIZE];
    while (count < MAX_DISKS && read_line(tool_output, line)) {
        if (strncmp(line, "/dev/", 5) != 0)
            continue;
        char name[NAME_SIZE] = {};
        unsigned cylinders = 0, heads = 0, sectors = 0;
        // The name conversion is bounded by the buffer: a longer token makes the line unparsable.
        if (sscanf(line, "%79s %u %*s %u %*s %u", name, &cylinders, &heads, &sectors) != 4)
            continue;
        size_t length = strlen(name);
        if (length == NAME_SIZE - 1)
            continue;
        if (length > 0 && name[length - 1] == ':')
            name[length - 1] = '\0';
        uint64_t cylinder_bytes = uint64_t(heads) * sectors * 512;
        if (cylinder_bytes > UINT32_MAX)
            continue;
        disk_info& disk = table[count];
        disk = disk_info{};
        snprintf(disk.device, sizeof disk.device, "%.31s", name);
        set_geometry(disk, cylinders, uint32_t(cylinder_bytes));
        ++count;
    }
    return count;
}

disk_info* detect_disks()
{
    if (!disk_table)
        disk_table = new disk_info[MAX_DISKS]{};
    FILE* tool = pipe_from("/sbin/sfdisk", "-g", nullptr);
    if (!tool)
        return nullptr;
    int count = read_disk_geometry(tool, disk_table);
    close_pipe(tool);
    return count > 0 ? disk_table : nullptr;
}

const char* disk_display_name(const char* device)
{
    static const struct {
        const char* device;
        const char* name;
    } names[] = {
        {"/dev/hda", "IDE Primary master (disk C)"},
        {"/dev/hdb", "IDE Primary slave (disk D)"},
        {"/dev/hdc", "IDE Secondary master (disk E)"},
        {"/dev/hdd", "IDE Secondary slave (disk F)"},
    };
    for (const auto& entry : names)
        if (strcmp(device, entry.device) == 0)
            return entry.name;
    return device;
}
