#include "setup/flows/cdrom_installation.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "setup/flows/installer_feed.h"
#include "setup/flows/package_choice.h"
#include "setup/flows/shared_screens.h"
#include "setup/flows/source_media.h"
#include "setup/flows/target_disk.h"
#include "setup/tui/install_order.h"
#include "setup/tui/package_list.h"

namespace {

// Read-only, with the tag that old kernels wanted in the upper half of the flags.
constexpr unsigned long CDROM_MOUNT_FLAGS = 0xC0ED0000UL | MS_RDONLY;

// One installer run for one package file of the CD. False (reported) when the installation can't
// go on; a package that installer failed is only added to `failed`, and the next one is tried.
bool install_package_file(const std::string& path, std::vector<std::string>& failed)
{
    switch (feed_package_file(path.c_str())) {
    case feed_status::done:
        return true;
    case feed_status::cannot_start:
        std::puts("\nFATAL ERROR: couldn't start install");
        return false;
    case feed_status::no_size:
        std::puts("\nFATAL ERROR: corrupted installation CD-ROM");
        return false;
    case feed_status::read_failed:
        std::puts("\nFATAL ERROR: corrupted CD-ROM");
        return false;
    case feed_status::write_failed:
        std::puts("");
        failed.push_back(package_file_name(path));
        return true;
    case feed_status::not_installed:
        failed.push_back(package_file_name(path));
        return true;
    }
    return false;
}

bool install_selection(const package_list& list)
{
    std::puts("");
    install_order order;
    install_order_init(order, list);
    std::string path;
    std::vector<std::string> failed;
    while (install_order_next(order, path)) {
        if (!install_package_file(path, failed))
            return false;
    }
    return all_installed(failed);
}

// Tells the installed system that it came from a CD. Only its presence counts, so a failure to
// create it is not worth stopping for.
void mark_cd_installation()
{
    int fd = open("/mnt/CDINSTALL", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
        fchmod(fd, 0600);
        close(fd);
    }
}

}  // namespace

bool cdrom_installation(setup_context& context)
{
    if (mount_source_medium("iso9660", CDROM_MOUNT_FLAGS) == nullptr) {
        std::puts("\nFATAL ERROR: no CD-ROM found");
        return false;
    }
    package_list list;
    package_list_init(list, "/floppy");
    if (!package_list_load(list, false))
        return false;
    if (!choose_packages(context, list, false))
        return false;

    bool keep_config = ask_keep_config();
    if (!confirm_erase(context) || !prepare_target_disk(context, keep_config))
        return false;
    if (!install_selection(list))
        return false;

    mark_cd_installation();
    finish_installation(context);
    std::puts("");
    std::puts("Software installed.");
    return true;
}
