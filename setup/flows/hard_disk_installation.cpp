#include "setup/flows/hard_disk_installation.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/file_descriptor.h"
#include "setup/flows/installer_feed.h"
#include "setup/flows/memory_file.h"
#include "setup/flows/package_choice.h"
#include "setup/flows/progress_dots.h"
#include "setup/flows/shared_screens.h"
#include "setup/flows/source_media.h"
#include "setup/flows/target_disk.h"
#include "setup/support/untrusted_text.h"
#include "setup/tui/install_order.h"
#include "setup/tui/package_list.h"

namespace {

constexpr size_t MBR_SIZE = 512;

// Everything the installation needs from the source disk. The source may be the target itself, so
// all of it is in memory before either disk is written. The package table grows with the install
// order: a medium with many packages is not cut short.
struct source_contents {
    std::vector<memory_file> packages;  // in install order
    std::vector<std::string> names;     // their file names, in the same order
    memory_file configuration;
    unsigned char mbr[MBR_SIZE] = {};
};

bool exists(const char* path)
{
    struct stat status;
    return stat(path, &status) == 0;
}

bool choose_source_packages(setup_context& context, package_list& list, bool choose)
{
    package_list_init(list, "/floppy");
    if (!choose)
        return package_list_load(list, true);
    return package_list_load(list, false) && choose_packages(context, list, true);
}

bool read_packages(setup_context& context, const package_list& list, source_contents& contents)
{
    install_order order;
    install_order_init(order, list);
    std::string path;
    while (install_order_next(order, path)) {
        char name[20];
        install_order_name(order, name);
        std::printf("Reading: %s...", printable_text(name).c_str());
        progress_start(context, "");
        memory_file file;
        bool read = read_whole_file(path.c_str(), file);
        progress_stop(context);
        if (!read) {
            std::printf("\nFATAL ERROR: could not read file %s\n", printable_text(path).c_str());
            return false;
        }
        contents.packages.push_back(std::move(file));
        contents.names.push_back(package_file_name(path));
    }
    return true;
}

bool read_mbr(unsigned char (&mbr)[MBR_SIZE])
{
    owned_descriptor file(open("/floppy/mbr", O_RDONLY));
    if (!file.valid()) {
        std::puts("\nFATAL ERROR: Couldn't open mbr file");
        return false;
    }
    if (read_fully(file.get(), mbr, MBR_SIZE) != ssize_t(MBR_SIZE)) {
        std::puts("\nFATAL ERROR: Couldn't read mbr file");
        return false;
    }
    return true;
}

// Replaces the source's first sector (the file system's boot sector) by the boot record of the
// medium. It must be on the disk, not only in a cache, before the machine restarts.
bool write_mbr(const char* device, const unsigned char (&mbr)[MBR_SIZE])
{
    owned_descriptor disk(open(device, O_WRONLY));
    if (!disk.valid()) {
        std::puts("\nFATAL ERROR: Couldn't open disk");
        return false;
    }
    if (!write_fully(disk.get(), mbr, MBR_SIZE) || fsync(disk.get()) != 0 || !disk.close_checked()) {
        std::puts("\nFATAL ERROR: Couldn't write to disk");
        return false;
    }
    return true;
}

// A package that installer failed doesn't stop the others; the flow's last screen names it.
bool install_packages(source_contents& contents)
{
    std::puts("");
    std::vector<std::string> failed;
    for (size_t i = 0; i < contents.packages.size(); ++i) {
        memory_file& package = contents.packages[i];
        FILE* pipe = start_package_installer();
        if (pipe == nullptr) {
            std::puts("\nFATAL ERROR: Couldn't start install");
            return false;
        }
        bool fed = feed_bytes(pipe, package.data.get(), package.length);
        bool installed = finish_package_installer(pipe);
        if (!fed)
            std::puts("");
        if (!fed || !installed)
            failed.push_back(contents.names[i]);
        package.position = package.length;
        package.data.reset();
    }
    return all_installed(failed);
}

bool write_configuration(const memory_file& configuration)
{
    owned_descriptor script(open("/mnt/autorun.scr", O_WRONLY | O_CREAT | O_TRUNC, 0600));
    if (!script.valid()) {
        std::puts("\nFATAL ERROR: couldn't make script");
        return false;
    }
    if (!write_fully(script.get(), configuration.data.get(), configuration.length) || !script.close_checked()) {
        std::puts("\nFATAL ERROR: Writing configuration failed");
        return false;
    }
    return true;
}

}  // namespace

bool hard_disk_installation(setup_context& context)
{
    show_welcome(context, "hard disk installation");
    const char* source = mount_source_medium("vfat", 0);
    if (source == nullptr) {
        std::puts("\nFATAL ERROR: No hard disk found");
        return false;
    }
    bool choose = exists("/floppy/CHOOSE");
    package_list list;
    if (!choose_source_packages(context, list, choose))
        return false;

    source_contents contents;
    if (!read_packages(context, list, contents))
        return false;
    if (!read_whole_file("/floppy/autorun.scr", contents.configuration)) {
        std::puts("\nFATAL ERROR: could not read configuration");
        return false;
    }
    if (!choose && !read_mbr(contents.mbr))
        return false;
    umount("/floppy");
    if (!choose && !write_mbr(source, contents.mbr))
        return false;

    if (!find_target_disk(context) || !prepare_target_disk(context, false))
        return false;
    if (!install_packages(contents) || !write_configuration(contents.configuration))
        return false;

    finish_installation(context);
    std::puts("");
    std::puts("Software installed.");
    std::fflush(stdout);
    sleep(2);
    return true;
}
