#include "common/file_descriptor.h"

#include <cerrno>
#include <unistd.h>

owned_descriptor& owned_descriptor::operator=(owned_descriptor&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int owned_descriptor::release()
{
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void owned_descriptor::reset(int fd)
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
}

bool owned_descriptor::close_checked()
{
    int fd = release();
    return fd < 0 || close(fd) == 0;
}

bool write_fully(int fd, const void* bytes, std::size_t size)
{
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t written = write(fd, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        next += written;
        size -= std::size_t(written);
    }
    return true;
}

ssize_t read_fully(int fd, void* bytes, std::size_t size)
{
    char* next = static_cast<char*>(bytes);
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = read(fd, next + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return ssize_t(done);
}
