#include "installer/apply/full_write.h"

#include <cerrno>
#include <unistd.h>

bool write_fully(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        bytes += written;
        size -= std::size_t(written);
    }
    return true;
}
