#include "installer/database/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

std::string temporary_path_for(const std::string& path)
{
    std::string::size_type slash = path.rfind('/');
    std::string::size_type name_start = slash == std::string::npos ? 0 : slash + 1;
    std::string temporary = path;
    temporary.insert(name_start, 1, '.');
    return temporary;
}

namespace {

bool write_all(int fd, const std::string& content)
{
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

bool fail_and_remove(const std::string& temporary, int fd)
{
    int error = errno;
    if (fd >= 0)
        ::close(fd);
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

}  // namespace

bool write_file_atomically(const std::string& path, const std::string& content)
{
    std::string temporary = temporary_path_for(path);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // The data must be on disk before the rename is, or a power cut may still leave an empty file.
    if (!write_all(fd, content) || ::fsync(fd) != 0)
        return fail_and_remove(temporary, fd);
    if (::close(fd) != 0)
        return fail_and_remove(temporary, -1);
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        return fail_and_remove(temporary, -1);
    return true;
}
