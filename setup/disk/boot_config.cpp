#include "setup/disk/boot_config.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

// Opens target/etc/NAME for writing, creating target/etc first.
FILE* open_config_file(const char* target, const char* name, std::string& path)
{
    std::string etc = std::string(target) + "/etc";
    mkdir(etc.c_str(), 0755);
    path = etc + "/" + name;
    return fopen(path.c_str(), "w");
}

// Closes the file and sets its mode. A write that failed on the way (a full disk) shows up in the
// stream's error flag or at close, and must not leave a cut-off file that passes for complete.
bool close_config_file(FILE* file, const std::string& path)
{
    bool written = !ferror(file);
    if (fclose(file) != 0)
        written = false;
    chmod(path.c_str(), 0644);
    return written;
}

}  // namespace

bool write_lilo_conf(const disk_info& disk, const char* target)
{
    std::string path;
    FILE* file = open_config_file(target, "lilo.conf", path);
    if (!file)
        return false;
    // The boot loader goes into partition 1's boot sector; the disk's own first sector keeps our
    // boot program, which starts whatever partition is active.
    fprintf(file, "boot=%s1\n", disk.device);
    fputs("map=/boot/map\n", file);
    fputs("install=/boot/boot.b\n", file);
    fputs("lba32\n", file);
    fputs("image=/boot/vmlinuz\n", file);
    fputs("  label=System\n", file);
    fprintf(file, "  root=%s%d\n", disk.device, disk.two_partitions ? 2 : 1);
    fputs("  read-only\n", file);
    return close_config_file(file, path);
}

bool write_fstab(const disk_info& disk, const char* target)
{
    std::string path;
    FILE* file = open_config_file(target, "fstab", path);
    if (!file)
        return false;
    const char* type = disk.journal ? "ext3" : "ext2";
    if (disk.two_partitions) {
        fprintf(file, "%s2  /     %s defaults 1 1\n", disk.device, type);
        fprintf(file, "%s1  /boot ext2 defaults 1 2\n", disk.device);
    } else {
        fprintf(file, "%s1  /     %s defaults 1 1\n", disk.device, type);
    }
    fputs("none /proc proc defaults 0 0\n", file);
    fputs("none /dev/pts devpts gid=5,mode=620 0 0\n", file);
    if (!close_config_file(file, path))
        return false;
    if (disk.journal) {
        // The journalled root needs no check at every start.
        std::string marker = std::string(target) + "/.nofsck";
        if (FILE* nofsck = fopen(marker.c_str(), "w"))
            fclose(nofsck);
    }
    return true;
}
