#include "setup/disk/floppy_label.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>

void read_floppy_label(char* buffer, size_t size)
{
    if (size == 0)
        return;
    std::memset(buffer, 0, size);
    if (mount("/dev/fd0", "/floppy", "vfat", 0, nullptr) == 0) {
        if (FILE* file = std::fopen("/floppy/label.txt", "r")) {
            if (std::fgets(buffer, static_cast<int>(size), file) == nullptr)
                buffer[0] = '\0';
            std::fclose(file);
        }
        umount("/floppy");
    }
    size_t kept = 0;
    for (size_t i = 0; i < size && buffer[i] != '\0'; ++i) {
        if (std::isgraph(static_cast<unsigned char>(buffer[i])))
            buffer[kept++] = buffer[i];
    }
    buffer[kept] = '\0';
    if (kept == 0)
        std::snprintf(buffer, size, "%s", "kestrova");
}
