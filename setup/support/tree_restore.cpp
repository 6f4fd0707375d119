#include "setup/support/tree_restore.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/byte_order.h"
#include "common/file_descriptor.h"
#include "setup/support/tree_chain.h"
#include "setup/support/tree_record.h"

namespace {

bool read_record(tree_reader& reader, tree_record& record)
{
    unsigned char encoded[TREE_STATUS_SIZE];
    if (!reader.read_path(&record.path) || !reader.read(encoded, TREE_STATUS_SIZE))
        return false;
    record.mode = get_u32(encoded);
    record.owner = get_u32(encoded + 4);
    record.group = get_u32(encoded + 8);
    record.size = get_u64(encoded + 12);
    record.access_seconds = static_cast<int64_t>(get_u64(encoded + 20));
    record.access_nanoseconds = get_u32(encoded + 28);
    record.modification_seconds = static_cast<int64_t>(get_u64(encoded + 32));
    record.modification_nanoseconds = get_u32(encoded + 40);
    return true;
}

struct directory_times {
    std::string path;
    timespec times[2];
};

void make_times(const tree_record& record, timespec times[2])
{
    times[0].tv_sec = static_cast<time_t>(record.access_seconds);
    times[0].tv_nsec = static_cast<long>(record.access_nanoseconds);
    times[1].tv_sec = static_cast<time_t>(record.modification_seconds);
    times[1].tv_nsec = static_cast<long>(record.modification_nanoseconds);
}

// Creating entries in a directory changes its times, so a directory gets its times only once
// everything below it is restored: when the walk leaves it, or at the end.
class pending_directories {
public:
    void leave_until_inside(const char* path)
    {
        while (!open_.empty()) {
            const std::string& top = open_.back().path;
            if (top.compare(0, top.size(), path, 0, top.size()) == 0 && path[top.size()] == '/')
                return;
            leave();
        }
    }
    void enter(const tree_record& record)
    {
        directory_times entry{record.path, {}};
        make_times(record, entry.times);
        open_.push_back(entry);
    }
    void leave_all()
    {
        while (!open_.empty())
            leave();
    }

private:
    void leave()
    {
        utimensat(AT_FDCWD, open_.back().path.c_str(), open_.back().times, AT_SYMLINK_NOFOLLOW);
        open_.pop_back();
    }
    std::vector<directory_times> open_;
};

// The owner is set before the mode: changing the owner clears the set-user-ID and set-group-ID bits.
bool restore_file(tree_reader& reader, const tree_record& record)
{
    int fd = open(record.path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    uint64_t left = record.size;
    while (left > 0) {
        const unsigned char* piece = nullptr;
        uint32_t limit = left < UINT32_MAX ? static_cast<uint32_t>(left) : UINT32_MAX;
        uint32_t count = reader.read_piece(limit, &piece);
        if (count == 0 || !write_fully(fd, piece, count)) {
            close(fd);
            return false;
        }
        left -= count;
    }
    if (fchown(fd, record.owner, record.group) != 0) {
        // Ignored: the content matters more than its owner.
    }
    fchmod(fd, record.mode & 07777);
    close(fd);
    timespec times[2];
    make_times(record, times);
    utimensat(AT_FDCWD, record.path, times, AT_SYMLINK_NOFOLLOW);
    return true;
}

bool restore_directory(const tree_record& record)
{
    if (mkdir(record.path, 0700) != 0)
        return false;
    if (chown(record.path, record.owner, record.group) != 0) {
        // Ignored, as for files.
    }
    chmod(record.path, record.mode & 07777);
    return true;
}

bool restore_records(tree_chunk* buffer)
{
    tree_reader reader(buffer);
    pending_directories directories;
    bool ok = true;
    while (ok && !reader.at_end()) {
        tree_record record{};
        if (!read_record(reader, record)) {
            ok = false;
            break;
        }
        directories.leave_until_inside(record.path);
        if (S_ISREG(record.mode)) {
            ok = restore_file(reader, record);
        } else if (S_ISDIR(record.mode)) {
            ok = restore_directory(record);
            if (ok)
                directories.enter(record);
        } else {
            ok = false;
        }
    }
    directories.leave_all();
    return ok;
}

}  // namespace

bool write_tree(tree_buffer buffer)
{
    if (buffer == nullptr || buffer->magic != TREE_CHUNK_MAGIC) {
        // Not a chain we made (or one freed already): touch nothing, not even to free it.
        return false;
    }
    bool ok = restore_records(buffer);
    free_tree(buffer);
    return ok;
}
