#include <cstdio>
#include <sys/mount.h>

#include "setup/disk/floppy_part_copy.h"
#include "setup/disk/floppy_part_prompt.h"
#include "setup/flows/floppy_installation.h"
#include "setup/flows/installer_feed.h"
#include "setup/flows/shared_screens.h"
#include "setup/flows/target_disk.h"
#include "setup/support/process_runner.h"

bool install_floppy_set(setup_context& context)
{
    std::FILE* installer = pipe_to("/sbin/installer", "-q", "-r", "/mnt", "-", nullptr);
    if (!installer) {
        std::puts("\nFATAL ERROR: couldn't start install");
        return false;
    }
    // The count is 1 until the first part has been read; from then on the set's own count rules.
    for (unsigned part = 0; part < context.set_header.part_count;) {
        std::puts("");
        std::FILE* file = open_floppy_part(part);
        if (!file) {
            // installer waits for the rest of a stream that will not come; closing ends its wait.
            close_pipe(installer);
            std::puts("\nFATAL ERROR: Installation error");
            return false;
        }
        int copied = copy_floppy_part(context.set_header, file, installer);
        std::fclose(file);
        if (copied < 0) {
            close_pipe(installer);
            std::puts("\nFATAL ERROR: Installation error");
            return false;
        }
        // A bad floppy is unmounted too: the next one goes into the same drive.
        umount("/floppy");
        if (copied == 0) {
            std::puts("");
            std::puts("ERROR: bad floppy, please replace it.");
            continue;
        }
        ++part;
    }
    // The set is one stream: installer's verdict is on all of its packages at once.
    if (!finish_package_installer(installer)) {
        std::puts("\nFATAL ERROR: not installed: the packages of the floppy set");
        return false;
    }
    return true;
}

bool floppy_installation(setup_context& context)
{
    show_welcome(context, "floppy installation");
    if (!find_target_disk(context))
        return false;
    bool keep_config = ask_keep_config();
    if (!confirm_erase(context))
        return false;
    if (!prepare_target_disk(context, keep_config) || !install_floppy_set(context))
        return false;
    finish_installation(context);
    std::puts("");
    std::puts("Software installed.");
    std::puts("Remove boot floppy");
    return true;
}
