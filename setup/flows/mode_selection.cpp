#include <cstdio>
#include <cstring>
#include <sys/mount.h>

#include "setup/flows/cdrom_installation.h"
#include "setup/flows/floppy_installation.h"
#include "setup/flows/hard_disk_installation.h"
#include "setup/flows/mode_selection.h"
#include "setup/flows/network_installation.h"
#include "setup/flows/target_disk.h"
#include "setup/tui/key_input.h"

namespace {

constexpr size_t TYPE_LINE_SIZE = 80;

bool has_argument(int argc, char** argv, const char* wanted)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && std::strcmp(argv[i], wanted) == 0)
            return true;
    }
    return false;
}

// The first line of /TYPE without its newline; empty when there is no such file.
void read_media_type(char (&line)[TYPE_LINE_SIZE])
{
    std::memset(line, 0, sizeof line);
    FILE* file = std::fopen("/TYPE", "r");
    if (file == nullptr)
        return;
    if (std::fgets(line, sizeof line, file) == nullptr)
        line[0] = '\0';
    std::fclose(file);
    line[std::strcspn(line, "\n")] = '\0';
}

}  // namespace

void select_mode(setup_context& context, int argc, char** argv)
{
    if (mount("proc", "/proc", "proc", 0, nullptr) != 0) {
        // Already there, or not possible: the flows manage without.
    }
    bool hard_disk = has_argument(argc, argv, "-hdd-install");
    char media_type[TYPE_LINE_SIZE];
    read_media_type(media_type);

    bool wait_for_enter;
    if (hard_disk) {
        wait_for_enter = !hard_disk_installation(context);
    } else if (std::strcmp(media_type, "cdrom") == 0) {
        if (find_target_disk(context))
            cdrom_installation(context);
        wait_for_enter = true;
    } else if (std::strcmp(media_type, "net") == 0) {
        wait_for_enter = !network_installation(context);
    } else {
        floppy_installation(context);
        wait_for_enter = true;
    }

    umount("/floppy");
    umount("/mnt");
    installation_finished = 1;
    if (wait_for_enter) {
        std::puts("Press ENTER to reboot");
        wait_for_key(KEY_ENTER);
    }
}
