// "/sbin/sfdisk" of the installation system. setup speaks the partitioning tool's old dialect:
// the "-g" geometry line, the "-d" dump lines and table input as "start,size,type,*" in
// cylinders. Today's tool has no cylinder units, so this layer answers "-g" and "-d" itself and
// hands the table, translated into sectors, to the real tool, which writes it and makes the kernel
// read it again.
//
// Heads and sectors per track come from GEOMETRY_FILE when it exists (test media use it to get
// more than 1,023 cylinders out of a small disk), otherwise from the kernel. Everything in the
// first sector before the partition table is ours (setup's boot program): the real tool's disk
// identifier must not end up inside it.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "common/byte_order.h"
#include "common/child_wait.h"
#include "common/file_descriptor.h"

namespace {

// Both can be pointed elsewhere through the environment, so that the layer can be tried on an
// image file outside the installation system.
const char* const GEOMETRY_FILE = getenv("SFDISK_GEOMETRY") ? getenv("SFDISK_GEOMETRY") : "/etc/sfdisk.geometry";
const char* const SECTOR_TOOL = getenv("SFDISK_SECTOR_TOOL") ? getenv("SFDISK_SECTOR_TOOL") : "/sbin/sfdisk.sectors";
constexpr size_t SECTOR_SIZE = 512;
constexpr size_t TABLE_OFFSET = 446;
constexpr int ENTRY_COUNT = 4;

struct geometry {
    uint32_t heads = 0;
    uint32_t sectors = 0;
    uint64_t total_sectors = 0;
    uint32_t cylinders() const { return uint32_t(total_sectors / (uint64_t(heads) * sectors)); }
    uint64_t cylinder_sectors() const { return uint64_t(heads) * sectors; }
};

struct entry {
    bool bootable = false;
    unsigned type = 0;
    uint64_t start = 0;
    uint64_t size = 0;
};


bool read_geometry(const char* device, geometry& result)
{
    int fd = open(device, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint64_t bytes = 0;
    struct hd_geometry kernel = {};
    struct stat status;
    bool known;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        // An image file: the geometry a kernel gives every disk of ours.
        bytes = uint64_t(status.st_size);
        kernel.heads = 255;
        kernel.sectors = 63;
        known = true;
    } else {
        known = ioctl(fd, BLKGETSIZE64, &bytes) == 0 && ioctl(fd, HDIO_GETGEO, &kernel) == 0;
    }
    close(fd);
    if (!known)
        return false;
    result.heads = kernel.heads;
    result.sectors = kernel.sectors;
    result.total_sectors = bytes / SECTOR_SIZE;
    if (FILE* file = fopen(GEOMETRY_FILE, "r")) {
        unsigned heads = 0, sectors = 0;
        if (fscanf(file, "%u %u", &heads, &sectors) == 2 && heads >= 1 && heads <= 255 && sectors >= 1 && sectors <= 63) {
            result.heads = heads;
            result.sectors = sectors;
        }
        fclose(file);
    }
    return result.heads > 0 && result.sectors > 0;
}

bool read_first_sector(const char* device, unsigned char* sector)
{
    int fd = open(device, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool complete = pread(fd, sector, SECTOR_SIZE, 0) == ssize_t(SECTOR_SIZE);
    close(fd);
    return complete;
}

// Only whole disks are offered: a CD-ROM drive without a medium fails to open anyway, one with a
// medium must still not be taken for an installation target.
bool is_disk_device(const char* device)
{
    struct stat status;
    if (stat(device, &status) != 0)
        return false;
    if (S_ISREG(status.st_mode))
        return true;
    if (!S_ISBLK(status.st_mode))
        return false;
    unsigned major_number = major(status.st_rdev);
    return major_number == 8 || major_number == 3 || major_number == 22;
}

int show_geometry(const std::vector<const char*>& devices)
{
    std::vector<const char*> candidates = devices;
    if (candidates.empty())
        candidates = {"/dev/hda", "/dev/hdb", "/dev/hdc", "/dev/hdd"};
    for (const char* device : candidates) {
        geometry disk;
        if (!is_disk_device(device) || !read_geometry(device, disk) || disk.total_sectors == 0)
            continue;
        printf("%s: %u cylinders, %u heads, %u sectors/track\n", device, disk.cylinders(), disk.heads, disk.sectors);
    }
    return 0;
}

int dump_table(const char* device)
{
    unsigned char sector[SECTOR_SIZE];
    if (!read_first_sector(device, sector)) {
        fprintf(stderr, "sfdisk: cannot read %s\n", device);
        return 1;
    }
    // A disk without a table has no entries to list, not four empty ones.
    if (sector[510] != 0x55 || sector[511] != 0xaa)
        return 0;
    printf("# partition table of %s\nunit: sectors\n\n", device);
    for (int i = 0; i < ENTRY_COUNT; ++i) {
        const unsigned char* raw = sector + TABLE_OFFSET + 16 * i;
        printf("%s%d : start=%9u, size=%9u, Id=%2x%s\n", device, i + 1, get_u32(raw + 8), get_u32(raw + 12),
               raw[4], raw[0] == 0x80 ? ", bootable" : "");
    }
    return 0;
}

// One input line "start,size,type[,*]" in cylinders. Cylinder 0 starts one track in, behind the
// first sector, as the old tool placed it.
bool parse_input_line(const char* line, const geometry& disk, entry& result)
{
    unsigned long start = 0, size = 0;
    unsigned type = 0;
    char mark[8] = {};
    int fields = sscanf(line, " %lu , %lu , %x , %7[^ \t\n]", &start, &size, &type, mark);
    if (fields < 3)
        return false;
    result = entry{};
    if (size == 0)
        return type == 0;
    result.type = type;
    result.bootable = fields == 4 && strcmp(mark, "*") == 0;
    result.start = start * disk.cylinder_sectors();
    result.size = size * disk.cylinder_sectors();
    if (start == 0) {
        result.start = disk.sectors;
        if (result.size <= disk.sectors)
            return false;
        result.size -= disk.sectors;
    }
    return type > 0 && type < 256 && result.start + result.size <= disk.cylinders() * disk.cylinder_sectors();
}

void encode_chs(uint64_t sector_number, const geometry& disk, unsigned char* bytes)
{
    uint64_t cylinder = sector_number / disk.cylinder_sectors();
    uint32_t head = uint32_t(sector_number / disk.sectors % disk.heads);
    uint32_t sector = uint32_t(sector_number % disk.sectors) + 1;
    if (cylinder > 1023) {
        cylinder = 1023;
        head = disk.heads - 1;
        sector = disk.sectors;
    }
    bytes[0] = uint8_t(head);
    bytes[1] = uint8_t(sector | ((cylinder >> 2) & 0xc0));
    bytes[2] = uint8_t(cylinder & 0xff);
}

bool run_sector_tool(const char* device, const std::string& script)
{
    int channel[2];
    if (pipe(channel) != 0)
        return false;
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        dup2(channel[0], 0);
        close(channel[0]);
        close(channel[1]);
        execl(SECTOR_TOOL, SECTOR_TOOL, "--quiet", "--wipe", "always", "--wipe-partitions", "always", device,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(channel[0]);
    bool sent = write_fully(channel[1], script.data(), script.size());
    close(channel[1]);
    int status = wait_for_child(child);
    return sent && status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int write_table(const char* device)
{
    geometry disk;
    if (!read_geometry(device, disk)) {
        fprintf(stderr, "sfdisk: cannot get the geometry of %s\n", device);
        return 1;
    }
    std::vector<entry> entries;
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        if (line[0] == '\n' || line[0] == '#')
            continue;
        entry parsed;
        if (entries.size() == ENTRY_COUNT || !parse_input_line(line, disk, parsed)) {
            fprintf(stderr, "sfdisk: bad input line: %s", line);
            return 1;
        }
        entries.push_back(parsed);
    }
    for (size_t i = 0; i < entries.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (entries[i].size && entries[j].size && entries[i].start < entries[j].start + entries[j].size &&
                entries[j].start < entries[i].start + entries[i].size) {
                fprintf(stderr, "sfdisk: partitions %zu and %zu overlap\n", j + 1, i + 1);
                return 1;
            }

    unsigned char kept[SECTOR_SIZE];
    if (!read_first_sector(device, kept)) {
        fprintf(stderr, "sfdisk: cannot read %s\n", device);
        return 1;
    }
    std::string script = "label: dos\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        const entry& e = entries[i];
        if (!e.size)
            continue;
        char text[160];
        snprintf(text, sizeof text, "%s%zu : start=%llu, size=%llu, type=%x%s\n", device, i + 1,
                 (unsigned long long)e.start, (unsigned long long)e.size, e.type, e.bootable ? ", bootable" : "");
        script += text;
    }
    if (!run_sector_tool(device, script)) {
        fprintf(stderr, "sfdisk: %s rejected the table\n", SECTOR_TOOL);
        return 1;
    }

    // Put back what precedes the table, and give the entries cylinder/head/sector fields that
    // agree with the geometry the BIOS boot program will address them by.
    unsigned char sector[SECTOR_SIZE];
    if (!read_first_sector(device, sector))
        return 1;
    memcpy(sector, kept, TABLE_OFFSET);
    for (int i = 0; i < ENTRY_COUNT; ++i) {
        unsigned char* raw = sector + TABLE_OFFSET + 16 * i;
        uint32_t start = get_u32(raw + 8), size = get_u32(raw + 12);
        if (size == 0)
            continue;
        encode_chs(start, disk, raw + 1);
        encode_chs(uint64_t(start) + size - 1, disk, raw + 5);
    }
    int fd = open(device, O_WRONLY | O_CLOEXEC);
    bool written = fd >= 0 && pwrite(fd, sector, SECTOR_SIZE, 0) == ssize_t(SECTOR_SIZE) && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    if (!written) {
        fprintf(stderr, "sfdisk: cannot write the first sector of %s\n", device);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool geometry_only = false, dump = false;
    std::vector<const char*> devices;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-g") == 0)
            geometry_only = true;
        else if (strcmp(argv[i], "-d") == 0)
            dump = true;
        else if (strcmp(argv[i], "-q") == 0 || strcmp(argv[i], "-uC") == 0)
            continue;  // quiet, and cylinders are the only unit this layer speaks
        else if (argv[i][0] == '-') {
            fprintf(stderr, "sfdisk: unsupported option %s\n", argv[i]);
            return 1;
        } else
            devices.push_back(argv[i]);
    }
    if (geometry_only)
        return show_geometry(devices);
    if (devices.size() != 1) {
        fprintf(stderr, "usage: sfdisk -g [device...] | -d [-uC] device | [-q] [-uC] device < table\n");
        return 1;
    }
    return dump ? dump_table(devices[0]) : write_table(devices[0]);
}
