#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "setup/disk/disk_detection.h"

namespace {

struct geometry_case {
    uint32_t cylinders;
    uint32_t cylinder_bytes;
    bool two_partitions;
    bool journal;
};

TEST(disk_geometry, layout_flags_follow_the_cylinder_and_size_lines)
{
    const geometry_case cases[] = {
        {1023, 8225280, false, true},
        {1024, 8225280, true, true},
        {160, 262144, false, false},   // exactly 40 MiB
        {161, 262144, false, true},    // one cylinder more
        {1024, 32256, true, false},    // two partitions, still small enough for ext2
        {600000, 8225280, true, true}, // the product only fits in 64 bits
        {0, 0, false, false},
    };
    for (const auto& c : cases) {
        disk_info disk{};
        set_geometry(disk, c.cylinders, c.cylinder_bytes);
        EXPECT_EQ(disk.cylinders, c.cylinders);
        EXPECT_EQ(disk.cylinder_bytes, c.cylinder_bytes);
        EXPECT_EQ(disk.two_partitions, c.two_partitions) << c.cylinders << " x " << c.cylinder_bytes;
        EXPECT_EQ(disk.journal, c.journal) << c.cylinders << " x " << c.cylinder_bytes;
    }
}

int read_geometry_text(const std::string& text, disk_info* table)
{
    FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    int count = read_disk_geometry(stream, table);
    fclose(stream);
    return count;
}

TEST(disk_geometry, tool_output_gives_at_most_four_disks)
{
    std::string output =
        "Disk list\n"
        "/dev/hda: 1024 cylinders, 255 heads, 63 sectors/track\n"
        "/dev/hdb: cylinders unknown\n"
        "/dev/hdc: 100 cylinders, 16 heads, 32 sectors/track\n"
        "/dev/hdd 7 cylinders, 1 heads, 63 sectors/track\n"
        "/dev/sda: 9 cylinders, 2 heads, 8 sectors/track\n"
        "/dev/sdb: 1 cylinders, 1 heads, 1 sectors/track\n";
    disk_info table[MAX_DISKS];
    ASSERT_EQ(read_geometry_text(output, table), 4);
    EXPECT_STREQ(table[0].device, "/dev/hda");
    EXPECT_EQ(table[0].cylinders, 1024u);
    EXPECT_EQ(table[0].cylinder_bytes, 8225280u);
    EXPECT_TRUE(table[0].two_partitions);
    EXPECT_STREQ(table[1].device, "/dev/hdc");
    EXPECT_STREQ(table[2].device, "/dev/hdd");  // no colon to remove
    EXPECT_EQ(table[2].cylinder_bytes, 32256u);
    EXPECT_STREQ(table[3].device, "/dev/sda");
}

TEST(disk_geometry, hostile_lines_are_skipped_or_cut)
{
    std::string long_name = "/dev/" + std::string(100, 'x') + ": 5 cylinders, 1 heads, 1 sectors/track\n";
    std::string long_device = "/dev/" + std::string(40, 'y') + ": 5 cylinders, 1 heads, 1 sectors/track\n";
    // A line longer than the line buffer: its tail must not be read as a line of its own.
    std::string long_line = "note " + std::string(130, ' ') + "/dev/hdz: 3 cylinders, 1 heads, 1 sectors/track\n";
    std::string huge = "/dev/hdw: 3 cylinders, 4294967295 heads, 63 sectors/track\n";
    disk_info table[MAX_DISKS];
    ASSERT_EQ(read_geometry_text(long_name + long_line + huge + long_device, table), 1);
    EXPECT_EQ(strlen(table[0].device), 31u);
    EXPECT_EQ(std::string(table[0].device), "/dev/" + std::string(26, 'y'));
}

TEST(disk_display_name, ide_devices_get_their_names_others_stay_paths)
{
    const struct {
        const char* device;
        const char* shown;
    } cases[] = {
        {"/dev/hda", "IDE Primary master (disk C)"},
        {"/dev/hdb", "IDE Primary slave (disk D)"},
        {"/dev/hdc", "IDE Secondary master (disk E)"},
        {"/dev/hdd", "IDE Secondary slave (disk F)"},
        {"/dev/hda1", "/dev/hda1"},
        {"/dev/hd", "/dev/hd"},
        {"/dev/sda", "/dev/sda"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(disk_display_name(c.device), c.shown);
}

}  // namespace
