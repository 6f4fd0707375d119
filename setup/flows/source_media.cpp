#include "setup/flows/source_media.h"

#include <sys/mount.h>

namespace {

const char* const SOURCE_DEVICES[] = {"/dev/hda", "/dev/hdb", "/dev/hdc", "/dev/hdd"};

}  // namespace

const char* mount_source_medium(const char* type, unsigned long flags)
{
    for (const char* device : SOURCE_DEVICES) {
        if (mount(device, "/floppy", type, flags, nullptr) == 0)
            return device;
    }
    return nullptr;
}
