#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "setup/disk/boot_config.h"
#include "setup/disk/disk_detection.h"
#include "setup/disk/partitioning.h"

namespace {

disk_info make_disk(uint32_t cylinders, uint32_t cylinder_bytes, const char* device = "/dev/hda")
{
    disk_info disk{};
    snprintf(disk.device, sizeof disk.device, "%s", device);
    set_geometry(disk, cylinders, cylinder_bytes);
    return disk;
}

std::string table_text(const disk_info& disk, int old_entries)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&text, &size);
    write_partition_table(stream, disk, old_entries);
    fclose(stream);
    std::string result(text, size);
    free(text);
    return result;
}

TEST(partition_table, layouts_in_cylinders_with_old_entries_emptied)
{
    const struct {
        uint32_t cylinders;
        uint32_t cylinder_bytes;
        int old_entries;
        const char* expected;
    } cases[] = {
        {1024, 8225280, 4, "0,2,83,*\n2,1022,83,*\n0,0,0\n0,0,0\n"},
        {1024, 8225280, 0, "0,2,83,*\n2,1022,83,*\n"},
        {1024, 32256, 1, "0,326,83,*\n326,698,83,*\n"},
        {1023, 8225280, 4, "0,1023,83,*\n0,0,0\n0,0,0\n0,0,0\n"},
        {160, 262144, 0, "0,160,83,*\n"},
        {161, 262144, 1, "0,161,83,*\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(table_text(make_disk(c.cylinders, c.cylinder_bytes), c.old_entries), c.expected)
            << c.cylinders << " x " << c.cylinder_bytes;
}

TEST(partition_table, layout_must_leave_room_for_every_partition)
{
    EXPECT_TRUE(layout_fits(make_disk(1024, 32256)));
    EXPECT_TRUE(layout_fits(make_disk(1, 262144)));
    EXPECT_FALSE(layout_fits(make_disk(1100, 8192)));  // the boot partition alone needs 1,280
    EXPECT_FALSE(layout_fits(make_disk(1280, 8192)));  // nothing left for the root
    EXPECT_TRUE(layout_fits(make_disk(1281, 8192)));
    EXPECT_FALSE(layout_fits(make_disk(0, 262144)));
    EXPECT_FALSE(layout_fits(make_disk(5000, 0)));
}

TEST(partition_table, dump_entries_are_counted_by_line_start)
{
    std::string dump = "# partition table of /dev/hda\nunit: sectors\n\n"
                       "/dev/hda1 : start=63, size=100, Id=83, bootable\n"
                       "/dev/hda2 : start=0, size=0, Id= 0\n"
                       "note " + std::string(300, '-') + "/dev/hda3 continues\n"
                       " /dev/hda4 indented\n";
    FILE* stream = fmemopen(dump.data(), dump.size(), "r");
    EXPECT_EQ(count_partition_entries(stream), 2);
    fclose(stream);
}

struct target_directory {
    std::string path;
    target_directory()
    {
        char name[] = "/tmp/boot_config_XXXXXX";
        path = mkdtemp(name);
    }
    ~target_directory() { std::system(("rm -rf " + path).c_str()); }
    std::string read(const char* name) const
    {
        std::string text;
        if (FILE* file = fopen((path + "/" + name).c_str(), "r")) {
            int c;
            while ((c = fgetc(file)) != EOF)
                text += char(c);
            fclose(file);
        }
        return text;
    }
    bool exists(const char* name) const
    {
        struct stat status;
        return stat((path + "/" + name).c_str(), &status) == 0;
    }
    unsigned mode(const char* name) const
    {
        struct stat status;
        stat((path + "/" + name).c_str(), &status);
        return status.st_mode & 07777;
    }
};

TEST(boot_config, files_follow_the_layout)
{
    const struct {
        disk_info disk;
        const char* root_line;
        const char* fstab;
        bool nofsck;
    } cases[] = {
        {make_disk(1023, 8225280), "  root=/dev/hda1\n",
         "/dev/hda1  /     ext3 defaults 1 1\n", true},
        {make_disk(1024, 8225280), "  root=/dev/hda2\n",
         "/dev/hda2  /     ext3 defaults 1 1\n/dev/hda1  /boot ext2 defaults 1 2\n", true},
        {make_disk(160, 262144), "  root=/dev/hda1\n", "/dev/hda1  /     ext2 defaults 1 1\n", false},
        {make_disk(1024, 32256, "/dev/hdc"), "  root=/dev/hdc2\n",
         "/dev/hdc2  /     ext2 defaults 1 1\n/dev/hdc1  /boot ext2 defaults 1 2\n", false},
    };
    for (const auto& c : cases) {
        target_directory target;
        ASSERT_TRUE(write_lilo_conf(c.disk, target.path.c_str()));
        ASSERT_TRUE(write_fstab(c.disk, target.path.c_str()));
        std::string device = c.disk.device;
        EXPECT_EQ(target.read("etc/lilo.conf"), "boot=" + device + "1\nmap=/boot/map\ninstall=/boot/boot.b\nlba32\n"
                                                 "image=/boot/vmlinuz\n  label=System\n" + c.root_line + "  read-only\n");
        EXPECT_EQ(target.read("etc/fstab"), std::string(c.fstab) + "none /proc proc defaults 0 0\n"
                                                                   "none /dev/pts devpts gid=5,mode=620 0 0\n");
        EXPECT_EQ(target.exists(".nofsck"), c.nofsck);
        EXPECT_EQ(target.mode("etc"), 0755u);
        EXPECT_EQ(target.mode("etc/lilo.conf"), 0644u);
        EXPECT_EQ(target.mode("etc/fstab"), 0644u);
    }
}

TEST(boot_config, unwritable_target_fails_without_files)
{
    disk_info disk = make_disk(161, 262144);
    EXPECT_FALSE(write_lilo_conf(disk, "/nonexistent/target"));
    EXPECT_FALSE(write_fstab(disk, "/nonexistent/target"));
    // A full disk cuts a file short: that must not pass for a written file.
    struct stat full;
    if (access("/dev/full", W_OK) == 0 && stat("/dev/full", &full) == 0) {
        target_directory target;
        ASSERT_EQ(mkdir((target.path + "/etc").c_str(), 0755), 0);
        ASSERT_EQ(symlink("/dev/full", (target.path + "/etc/fstab").c_str()), 0);
        EXPECT_FALSE(write_fstab(disk, target.path.c_str()));
        EXPECT_FALSE(target.exists(".nofsck"));
        // The file's mode is set through the link; the machine's /dev/full must not keep it.
        chmod("/dev/full", full.st_mode & 07777);
    }
}

}  // namespace
