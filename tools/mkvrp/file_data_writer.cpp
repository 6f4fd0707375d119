#include "tools/mkvrp/file_data_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <unistd.h>

#include "common/byte_order.h"
#include "common/deflate_stream.h"
#include "common/file_descriptor.h"
#include "common/file_record.h"
#include "common/part_reader.h"
#include "tools/mkvrp/report.h"
#include "tools/mkvrp/tree_walk.h"

namespace {

struct file_data_context {
    std::ostream& out;
    const build_options& options;
    dev_t output_device;
    ino_t output_inode;
};

bool copy_file_content(std::ostream& out, const tree_entry& entry, std::uint32_t size)
{
    owned_descriptor descriptor(::open(entry.full_path.c_str(), O_RDONLY | O_NOFOLLOW));
    if (!descriptor.valid()) {
        report_error("cannot read " + entry.full_path + ": " + std::strerror(errno));
        return false;
    }
    char chunk[CONTENT_CHUNK_SIZE];
    std::uint32_t left = size;
    while (left > 0) {
        std::size_t want = left < sizeof chunk ? left : sizeof chunk;
        ssize_t got = read_fully(descriptor.get(), chunk, want);
        if (got < 0) {
            report_error("cannot read " + entry.full_path + ": " + std::strerror(errno));
            return false;
        }
        if (std::size_t(got) < want) {
            // The record already promised the size it had when examined.
            report_error(entry.full_path + " became shorter while it was being packed");
            return false;
        }
        if (!out.write(chunk, got))
            return false;
        left -= std::uint32_t(got);
    }
    return true;
}

// The header fields of the entry's record that do not depend on its kind.
bool describe_entry(const file_data_context& context, const tree_entry& entry, file_record& record)
{
    const struct stat& status = entry.status;
    record.path = entry.package_path;
    record.mode = std::uint16_t(status.st_mode & 0xffff);
    if (context.options.override_owner) {
        record.uid = context.options.uid;
        record.gid = context.options.gid;
    } else {
        if (status.st_uid > 0xffff || status.st_gid > 0xffff) {
            report_error("owner of " + entry.full_path + " does not fit a package's 16-bit ids; use --owner");
            return false;
        }
        record.uid = std::uint16_t(status.st_uid);
        record.gid = std::uint16_t(status.st_gid);
    }
    // Package times are unsigned 32-bit; a time before 1970 is kept as 1970.
    record.mtime = status.st_mtime < 0 ? 0 : std::uint32_t(status.st_mtime);
    if (record.path.size() > 0xffff) {
        report_error("path " + entry.full_path + " is too long for a package");
        return false;
    }
    return true;
}

// What follows a record that is not a regular file: a link's target or a device's number.
struct small_content {
    std::string link_target;
    unsigned char device[4] = {};
};

// The content size of the record, and the content itself unless it is a regular file's.
bool describe_content(const tree_entry& entry, file_record& record, small_content& content)
{
    const struct stat& status = entry.status;
    if (S_ISREG(status.st_mode)) {
        if (std::uint64_t(status.st_size) > 0xffffffffULL) {
            report_error(entry.full_path + " is larger than a package can hold (4 GiB)");
            return false;
        }
        record.content_size = std::uint32_t(status.st_size);
    } else if (S_ISLNK(status.st_mode)) {
        // Some file systems report a link's size as 0; leave room for any target a path can hold.
        std::string buffer(std::max<std::size_t>(std::size_t(status.st_size), MAX_LINK_TARGET) + 1, '\0');
        ssize_t length = readlink(entry.full_path.c_str(), buffer.data(), buffer.size());
        if (length < 0 || std::size_t(length) >= buffer.size()) {
            report_error("cannot read link " + entry.full_path + (length < 0 ? std::string(": ") + std::strerror(errno) : ""));
            return false;
        }
        content.link_target.assign(buffer.data(), std::size_t(length));
        record.content_size = std::uint32_t(content.link_target.size());
    } else if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        if (std::uint64_t(status.st_rdev) > 0xffffffffULL) {
            report_error("device number of " + entry.full_path + " does not fit 32 bits");
            return false;
        }
        put_u32(content.device, std::uint32_t(status.st_rdev));
        record.content_size = 4;
    } else if (!S_ISDIR(status.st_mode) && !S_ISFIFO(status.st_mode)) {
        report_error(entry.full_path + " is a kind of file that packages cannot carry (only files, folders, "
                     "links, devices and FIFOs)");
        return false;
    }
    return true;
}

bool write_entry(file_data_context& context, const tree_entry& entry)
{
    const struct stat& status = entry.status;
    if (status.st_dev == context.output_device && status.st_ino == context.output_inode)
        return true;
    file_record record;
    small_content content;
    if (!describe_entry(context, entry, record) || !describe_content(entry, record, content))
        return false;
    if (!write_file_record(context.out, record))
        return false;
    if (S_ISREG(status.st_mode))
        return copy_file_content(context.out, entry, record.content_size);
    if (S_ISLNK(status.st_mode))
        return bool(context.out.write(content.link_target.data(), std::streamsize(content.link_target.size())));
    if (record.is_device())
        return bool(context.out.write(reinterpret_cast<char*>(content.device), 4));
    return true;
}

}  // namespace

bool write_file_data(container_writer& output, const std::string& tree, const build_options& options,
                     dev_t output_device, ino_t output_inode)
{
    if (!output.begin_part(PART_FILES))
        return false;
    deflate_stream compressor(output.sink());
    std::ostream out(&compressor);
    file_data_context context{out, options, output_device, output_inode};
    bool walked = walk_tree(tree, [&](const tree_entry& entry) { return write_entry(context, entry); });
    if (!walked) {
        if (!out)
            report_error("cannot write the file data of " + output.path());
        return false;
    }
    if (!out.flush() || !compressor.finish()) {
        report_error("cannot write the file data of " + output.path());
        return false;
    }
    return output.end_part();
}
