#include "setup/disk/target_mount.h"

#include <string>
#include <sys/mount.h>
#include <sys/stat.h>

#include "setup/disk/partitioning.h"

namespace {

bool mount_as(const char* device, const char* target, const char* type)
{
    return mount(device, target, type, 0, nullptr) == 0;
}

}  // namespace

bool mount_target(const disk_info& disk, const char* target, bool with_boot)
{
    char first[80];
    char second[80];
    partition_device(disk, 1, first, sizeof first);
    partition_device(disk, 2, second, sizeof second);

    // The order matters: a journalled partition 1 means the one-partition layout even when
    // partition 2 holds something mountable.
    if (!mount_as(second, target, "ext3")) {
        if (mount_as(first, target, "ext3"))
            return true;
        if (!mount_as(second, target, "ext2"))
            return mount_as(first, target, "ext2");
    }
    if (!with_boot)
        return true;
    std::string boot = std::string(target) + "/boot";
    mkdir(boot.c_str(), 0755);
    if (!mount_as(first, boot.c_str(), "ext2")) {
        umount(target);
        return false;
    }
    return true;
}
