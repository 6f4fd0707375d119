#include "installer/database/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "common/file_descriptor.h"

std::string temporary_path_for(const std::string& path)
{
    std::string::size_type slash = path.rfind('/');
    std::string::size_type name_start = slash == std::string::npos ? 0 : slash + 1;
    std::string temporary = path;
    temporary.insert(name_start, 1, '.');
    return temporary;
}

namespace {

// Closes and removes the temporary, keeping the errno of the failure for the caller's report.
bool fail_and_remove(const std::string& temporary, owned_descriptor& file)
{
    int error = errno;
    file.reset();
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

}  // namespace

bool write_file_atomically(const std::string& path, const std::string& content)
{
    return write_file_atomically(path, [&content](int descriptor) {
        return write_fully(descriptor, content.data(), content.size());
    });
}

bool write_file_atomically(const std::string& path, const std::function<bool(int descriptor)>& write_content)
{
    std::string temporary = temporary_path_for(path);
    owned_descriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid())
        return false;
    // The data must be on disk before the rename is, or a power cut may still leave an empty file.
    if (!write_content(file.get()) || ::fsync(file.get()) != 0)
        return fail_and_remove(temporary, file);
    if (!file.close_checked())
        return fail_and_remove(temporary, file);
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        return fail_and_remove(temporary, file);
    return true;
}
