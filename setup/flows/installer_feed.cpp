#include "setup/flows/installer_feed.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/file_descriptor.h"

#include "setup/support/process_runner.h"
#include "setup/support/untrusted_text.h"

FILE* start_package_installer()
{
    // Our own lines must reach the console before installer starts writing to it.
    fflush(stdout);
    FILE* pipe = pipe_to("/sbin/installer", "-r", "/mnt", "-", nullptr);
    // Each piece becomes one write: a second buffer in between would only copy the bytes again.
    if (pipe != nullptr)
        setvbuf(pipe, nullptr, _IONBF, 0);
    return pipe;
}

bool feed_bytes(FILE* pipe, const unsigned char* data, size_t size)
{
    while (size > 0) {
        size_t piece = std::min(size, FEED_PIECE_SIZE);
        if (fwrite(data, 1, piece, pipe) != piece)
            return false;
        data += piece;
        size -= piece;
    }
    return true;
}

namespace {

// Copies exactly `size` bytes of the file into the pipe. A file that ends before its size counts as
// a failed read: installer must never be handed a package cut short as if it were whole.
feed_status copy_file(int fd, size_t size, FILE* pipe)
{
    unsigned char piece[FEED_PIECE_SIZE];
    while (size > 0) {
        size_t wanted = std::min(size, sizeof piece);
        if (read_fully(fd, piece, wanted) != ssize_t(wanted))
            return feed_status::read_failed;
        if (!feed_bytes(pipe, piece, wanted))
            return feed_status::write_failed;
        size -= wanted;
    }
    return feed_status::done;
}

}  // namespace

bool finish_package_installer(FILE* pipe)
{
    // SIGCHLD stays blocked while the pipe is open, so the status is installer's own; -1 means the
    // last bytes could not be handed over, or its end is unknown: neither is an installed package.
    int status = close_pipe(pipe);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

feed_status feed_package_file(const char* path)
{
    FILE* pipe = start_package_installer();
    if (pipe == nullptr)
        return feed_status::cannot_start;
    struct stat status;
    feed_status result = feed_status::no_size;
    if (stat(path, &status) == 0) {
        owned_descriptor file(open(path, O_RDONLY));
        result = file.valid() ? copy_file(file.get(), size_t(status.st_size), pipe) : feed_status::read_failed;
    }
    bool installed = finish_package_installer(pipe);
    if (result == feed_status::done && !installed)
        result = feed_status::not_installed;
    return result;
}

std::string package_file_name(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool all_installed(const std::vector<std::string>& failed)
{
    if (failed.empty())
        return true;
    std::string names;
    for (const std::string& name : failed)
        names += (names.empty() ? "" : ", ") + printable_text(name);
    std::printf("\nFATAL ERROR: not installed: %s\n", names.c_str());
    return false;
}
