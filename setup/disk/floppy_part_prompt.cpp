#include "setup/disk/floppy_part_prompt.h"

#include <cerrno>
#include <sys/mount.h>

#include "setup/tui/key_input.h"

namespace {

const char* const FLOPPY_DEVICE = "/dev/fd0";
const char* const FLOPPY_MOUNT = "/floppy";
const char* const PART_FILE_PATTERN = "/floppy/kestrova.n%2.2u";

}  // namespace

std::string floppy_ordinal(unsigned number)
{
    char text[80];
    switch (number) {
    case 1:
        return "1st";
    case 2:
        return "2nd";
    case 3:
        return "3rd";
    default:
        std::snprintf(text, sizeof text, "%uth", number);
        return text;
    }
}

std::FILE* open_floppy_part(unsigned part)
{
    char path[64];
    std::snprintf(path, sizeof path, PART_FILE_PATTERN, part);
    for (;;) {
        std::printf("Please insert %s installation floppy.\n", floppy_ordinal(part + 2).c_str());
        std::puts("Press ENTER when ready");
        wait_for_key('\n');
        std::puts("");
        // A console that has gone away would have us ask for the floppy forever.
        if (input_ended())
            return nullptr;
        if (mount(FLOPPY_DEVICE, FLOPPY_MOUNT, "vfat", 0, nullptr) != 0) {
            std::puts("ERROR: No floppy, or bad floppy");
            std::puts("");
            continue;
        }
        std::FILE* file = std::fopen(path, "rb");
        if (file)
            return file;
        int open_error = errno;
        umount(FLOPPY_MOUNT);
        if (open_error == ENOENT) {
            std::puts("Wrong floppy!");
        } else {
            // A damaged directory on this floppy: by now the target disk is erased, and another
            // copy of the part is what can still save the installation.
            std::puts("");
            std::puts("ERROR: bad floppy, please replace it.");
        }
        std::puts("");
    }
}
