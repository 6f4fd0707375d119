#include "setup/flows/target_disk.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "setup/disk/boot_config.h"
#include "setup/disk/boot_sector.h"
#include "setup/disk/disk_detection.h"
#include "setup/disk/partitioning.h"
#include "setup/disk/target_mount.h"
#include "setup/flows/progress_dots.h"
#include "setup/flows/shared_screens.h"
#include "setup/support/process_runner.h"
#include "setup/support/tree_copy.h"
#include "setup/support/tree_restore.h"

namespace {

const char* const TARGET = "/mnt";
const char* const TARGET_BOOT = "/mnt/boot";
const char* const KEPT_CONFIGURATION = "/mnt/vorn/store";

// Created on the new file system in this order; a package database directory that exists and is
// empty is what installer expects to find.
const char* const TARGET_DIRECTORIES[] = {"/proc", "/vorn", "/vorn/etc", "/var", "/var/pdb"};

// Copies the old system's configuration into `saved`, if the disk holds one. False only when there
// is one and it could not be copied; a disk without a mountable system or without a configuration
// has nothing to keep.
bool save_configuration(setup_context& context, tree_buffer* saved)
{
    *saved = nullptr;
    if (!mount_target(context.target_disk, TARGET, false))
        return true;
    bool kept = true;
    struct stat status;
    if (lstat(KEPT_CONFIGURATION, &status) == 0) {
        progress_start(context, "Reading old configuration...");
        *saved = read_tree(KEPT_CONFIGURATION);
        progress_stop(context);
        if (!*saved) {
            puts("ERROR: couldn't keep config - probably not enough memory");
            kept = false;
        }
    }
    umount(TARGET_BOOT);
    umount(TARGET);
    return kept;
}

void create_target_directories()
{
    for (const char* directory : TARGET_DIRECTORIES) {
        std::string path = std::string(TARGET) + directory;
        if (mkdir(path.c_str(), 0755) != 0)
            perror(directory);
    }
}

// Everything after the saved copy is taken; the copy must not outlive a failed preparation.
bool give_up(tree_buffer saved, const char* message)
{
    if (saved)
        free_tree(saved);
    puts(message);
    return false;
}

}  // namespace

bool find_target_disk(setup_context& context)
{
    puts("");
    progress_start(context, "Looking for harddrives...");
    disk_info* disk = detect_disks();
    progress_stop(context);
    if (!disk) {
        puts("\nFATAL ERROR: no harddrives found");
        return false;
    }
    context.target_disk = *disk;
    puts("");
    printf("Found harddrive as %s\n", disk_display_name(context.target_disk.device));
    return true;
}

bool prepare_target_disk(setup_context& context, bool keep_config, bool attended)
{
    const disk_info& disk = context.target_disk;
    tree_buffer saved = nullptr;
    // The user asked to keep the configuration: losing it is their decision, taken before anything
    // is written. Without anybody at the console the answer is no.
    if (keep_config && !save_configuration(context, &saved)) {
        if (!attended) {
            puts("The old configuration can't be kept: nothing has been written to the disk.");
            return false;
        }
        if (!ask_go_on_without_config())
            return false;
    }

    // A disk too small for its layout is refused before anything is written to it.
    if (!layout_fits(disk))
        return give_up(saved, "ERROR: could not create partitions");

    // A boot program that can't be written has been reported; the disk can still be booted from a
    // boot loader in the first sector of another medium, so the preparation goes on.
    install_boot_program(disk.device);

    progress_start(context, "Creating partition...");
    bool partitioned = partition_disk(disk);
    progress_stop(context);
    if (!partitioned)
        return give_up(saved, "ERROR: could not create partitions");

    progress_start(context, "Formatting disk...");
    bool formatted = format_disk(disk);
    progress_stop(context);
    if (!formatted)
        return give_up(saved, "ERROR: could not format partitions");

    if (!mount_target(disk, TARGET, true))
        return give_up(saved, "ERROR: could not mount filesystem");
    if (!write_lilo_conf(disk, TARGET))
        return give_up(saved, "ERROR: could not create lilo.conf");
    if (!write_fstab(disk, TARGET))
        return give_up(saved, "ERROR: could not create fstab");

    create_target_directories();

    if (saved) {
        progress_start(context, "Writing back old configuration...");
        bool restored = write_tree(saved);
        progress_stop(context);
        if (!restored)
            puts("ERROR: couldn't write old configuration - proboably not enough space on the disk");
    }
    return true;
}

void finish_installation(setup_context& context)
{
    const disk_info& disk = context.target_disk;
    run_program(TARGET, "/bin/bash", "-c", "/etc/rc.d/rc.postinstall", nullptr);
    sync();
    umount(TARGET_BOOT);
    if (!disk.two_partitions) {
        char root_device[80];
        partition_device(disk, 1, root_device, sizeof root_device);
        // A remount ignores the source and the type; they name what is mounted there.
        if (mount(root_device, TARGET, "ext3", MS_RDONLY | MS_REMOUNT, nullptr) == 0) {
            progress_start(context, "Checking disk integrity...");
            run_program(TARGET, "/sbin/fsck", "-d", "-v", nullptr);
            progress_stop(context);
        }
    }
    umount(TARGET);
}
