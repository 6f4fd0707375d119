#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "setup/flows/installation_flows.h"
#include "setup/flows/installer_feed.h"
#include "setup/flows/package_choice.h"
#include "setup/flows/shared_screens.h"
#include "setup/flows/source_media.h"
#include "setup/flows/target_disk.h"
#include "setup/support/process_runner.h"
#include "setup/tui/install_order.h"
#include "setup/tui/package_list.h"

namespace {

// Read-only, with the tag that old kernels wanted in the upper half of the flags.
constexpr unsigned long CDROM_MOUNT_FLAGS = 0xC0ED0000UL | MS_RDONLY;

enum class copy_result { done, read_failed, write_failed };

// Copies exactly `size` bytes of the file into the pipe. A file that ends before its size counts as
// a failed read: installer must never be handed a package cut short as if it were whole.
copy_result copy_file(int fd, size_t size, FILE* pipe)
{
    unsigned char piece[FEED_PIECE_SIZE];
    while (size > 0) {
        size_t wanted = size < sizeof piece ? size : sizeof piece;
        ssize_t got = read(fd, piece, wanted);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return copy_result::read_failed;
        if (!feed_bytes(pipe, piece, size_t(got)))
            return copy_result::write_failed;
        size -= size_t(got);
    }
    return copy_result::done;
}

// One installer run for one package file of the CD.
bool install_package_file(const std::string& path)
{
    FILE* pipe = start_package_installer();
    if (pipe == nullptr) {
        std::puts("\nFATAL ERROR: couldn't start install");
        return false;
    }
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        close_pipe(pipe);
        std::puts("\nFATAL ERROR: corrupted installation CD-ROM");
        return false;
    }
    owned_descriptor file(open(path.c_str(), O_RDONLY));
    copy_result copied = file.valid() ? copy_file(file.get(), size_t(status.st_size), pipe)
                                      : copy_result::read_failed;
    close_pipe(pipe);
    if (copied == copy_result::read_failed) {
        std::puts("\nFATAL ERROR: corrupted CD-ROM");
        return false;
    }
    if (copied == copy_result::write_failed) {
        std::puts("");
        return false;
    }
    return true;
}

bool install_selection(const package_list& list)
{
    std::puts("");
    install_order order;
    install_order_init(order, list);
    std::string path;
    while (install_order_next(order, path)) {
        if (!install_package_file(path))
            return false;
    }
    return true;
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
