#include "setup/flows/memory_file.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"

bool read_whole_file(const char* path, memory_file& file)
{
    file = memory_file{};
    owned_descriptor fd(open(path, O_RDONLY));
    if (!fd.valid())
        return false;
    struct stat status;
    if (fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    size_t length = size_t(status.st_size);
    // A package larger than the memory of the machine is a failure to report, not a crash.
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[length > 0 ? length : 1]);
    if (!data)
        return false;
    size_t done = 0;
    while (done < length) {
        ssize_t got = read(fd.get(), data.get() + done, length - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    file.data = std::move(data);
    file.length = length;
    return true;
}
