#include "setup/support/tree_copy.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/byte_order.h"
#include "common/file_descriptor.h"
#include "setup/support/tree_chain.h"
#include "setup/support/tree_record.h"

namespace {

void encode_status(const struct stat& status, unsigned char* out)
{
    put_u32(out, status.st_mode);
    put_u32(out + 4, status.st_uid);
    put_u32(out + 8, status.st_gid);
    put_u64(out + 12, static_cast<uint64_t>(status.st_size));
    put_u64(out + 20, static_cast<uint64_t>(status.st_atim.tv_sec));
    put_u32(out + 28, static_cast<uint32_t>(status.st_atim.tv_nsec));
    put_u64(out + 32, static_cast<uint64_t>(status.st_mtim.tv_sec));
    put_u32(out + 40, static_cast<uint32_t>(status.st_mtim.tv_nsec));
}

bool append_header(tree_writer& writer, const char* path, const struct stat& status)
{
    unsigned char encoded[TREE_STATUS_SIZE];
    encode_status(status, encoded);
    return writer.append_path(path) && writer.append(encoded, TREE_STATUS_SIZE);
}

// Reads exactly the size lstat reported; a file that is shorter or longer by now is refused, since
// restoring it would restore something that never existed.
bool append_content(tree_writer& writer, int fd, uint64_t size)
{
    uint64_t copied = 0;
    while (copied < size) {
        unsigned char* space = nullptr;
        uint32_t room = writer.reserve(&space);
        if (room == 0)
            return false;
        uint32_t wanted = size - copied < room ? static_cast<uint32_t>(size - copied) : room;
        if (read_fully(fd, space, wanted) != ssize_t(wanted))
            return false;
        writer.commit(wanted);
        copied += wanted;
    }
    unsigned char extra;
    return read_fully(fd, &extra, 1) == 0;
}

bool add_path(tree_writer& writer, const std::string& path)
{
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return false;
    if (S_ISREG(status.st_mode)) {
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return false;
        bool ok = append_header(writer, path.c_str(), status) &&
                  append_content(writer, fd, static_cast<uint64_t>(status.st_size));
        close(fd);
        return ok;
    }
    if (S_ISDIR(status.st_mode)) {
        DIR* listing = opendir(path.c_str());
        if (listing == nullptr)
            return false;
        bool ok = append_header(writer, path.c_str(), status);
        while (ok) {
            const dirent* entry = readdir(listing);
            if (entry == nullptr)
                break;
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            ok = add_path(writer, path + "/" + entry->d_name);
        }
        closedir(listing);
        return ok;
    }
    // Links, devices, pipes and sockets are not part of a configuration.
    return true;
}

}  // namespace

tree_buffer read_tree(const char* path)
{
    tree_writer writer;
    if (!writer.start() || !add_path(writer, path)) {
        free_tree(writer.first());
        return nullptr;
    }
    writer.seal();
    return writer.first();
}
