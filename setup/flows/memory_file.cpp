#include "setup/flows/memory_file.h"

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
    if (read_fully(fd.get(), data.get(), length) != ssize_t(length))
        return false;
    file.data = std::move(data);
    file.length = length;
    return true;
}
