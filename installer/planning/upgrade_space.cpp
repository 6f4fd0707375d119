#include "installer/planning/upgrade_space.h"

#include <istream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <vector>

#include "common/byte_order.h"
#include "common/file_record.h"
#include "common/inflate_stream.h"
#include "common/part_reader.h"
#include "installer/database/files_in_use.h"
#include "installer/package/canonical_path.h"
#include "installer/state/console.h"

namespace {

// Room for the record files, scripts and the odd new directory block the count below misses.
constexpr std::uint64_t SPARE_BLOCKS = 16;
constexpr std::uint64_t FAST_LINK_LENGTH = 60;

using pos_type = std::streambuf::pos_type;
const pos_type NO_POSITION(std::streambuf::off_type(-1));

std::uint64_t round_up(std::uint64_t size, std::uint64_t block)
{
    return (size + block - 1) / block * block;
}

// Blocks the records of one file-data part need once written.
std::uint64_t bytes_needed(std::streambuf* source, std::uint32_t part_size, std::uint64_t block)
{
    part_streambuf part(source);
    part.size = part.remaining = part_size;
    inflate_stream inflater(&part);
    std::istream data(&inflater);
    std::uint64_t needed = 0;
    file_record record;
    while (read_file_record(data, record) == record_status::ok) {
        if (record.type() == TYPE_REGULAR)
            needed += round_up(record.content_size, block);
        else if (record.type() == TYPE_SYMLINK && record.content_size > FAST_LINK_LENGTH)
            needed += block;
        else if (record.type() == TYPE_DIRECTORY) {
            struct stat existing;
            if (lstat(canonical_path(record.path).c_str(), &existing) != 0)
                needed += block;
        }
        if (!skip_content(data, record))
            break;
    }
    return needed;
}

// Walks the parts from the reader's place to the file data of this package; 0 when it has none.
std::uint64_t content_bytes(part_reader& reader, std::uint64_t block)
{
    std::streambuf* source = reader.source();
    if (reader.current_type() == PART_FILES)
        return bytes_needed(source, reader.remaining_in_part(), block);
    if (source->pubseekoff(reader.remaining_in_part(), std::ios_base::cur, std::ios_base::in) == NO_POSITION)
        return 0;
    for (;;) {
        unsigned char header[PART_HEADER_SIZE];
        if (source->sgetn(reinterpret_cast<char*>(header), PART_HEADER_SIZE) != PART_HEADER_SIZE)
            return 0;
        std::int32_t type = get_u16(header);
        std::uint32_t size = get_u32(header + 2);
        if (type == PART_FILES)
            return bytes_needed(source, size, block);
        if (type == PART_PACKAGE || type == PART_BUNDLE)
            return 0;  // the next member of a bundle: this one has no files
        if (source->pubseekoff(size, std::ios_base::cur, std::ios_base::in) == NO_POSITION)
            return 0;
    }
}

// Pipes are read into memory, once, so that looking ahead can be undone.
bool make_seekable(part_reader& reader)
{
    static std::vector<std::unique_ptr<std::stringbuf>> spilled;
    std::ostringstream rest;
    rest << reader.source();
    auto memory = std::make_unique<std::stringbuf>(rest.str(), std::ios_base::in);
    reader.source() = memory.get();
    spilled.push_back(std::move(memory));
    return true;
}

std::uint64_t bytes_freed(const run_context& context, const installed_package& old_version)
{
    std::uint64_t freed = 0;
    for (std::string_view path : old_version.files) {
        struct stat status;
        // A file still held open stays on the disk under a temporary name; one with other
        // names keeps its blocks.
        if (lstat(path.data(), &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
            !is_in_use(context, path))
            freed += std::uint64_t(status.st_blocks) * 512;
    }
    return freed;
}

}  // namespace

bool upgrade_fits(run_context& context, part_reader& reader, const installed_package& candidate,
                  const installed_package& old_version)
{
    struct statvfs disk;
    if (statvfs("/", &disk) != 0)
        return true;  // nothing to go by: the old behaviour
    std::uint64_t block = disk.f_frsize ? disk.f_frsize : disk.f_bsize;
    pos_type start = reader.source()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (start == NO_POSITION) {
        // The stream cannot be looked ahead in without keeping what is read.
        if (reader.rdstate() != std::ios_base::goodbit || !make_seekable(reader))
            return true;
        start = reader.source()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    }
    std::uint64_t needed = content_bytes(reader, block);
    reader.source()->pubseekpos(start, std::ios_base::in);
    if (needed == 0)
        return true;
    needed += SPARE_BLOCKS * block;
    std::uint64_t available = std::uint64_t(disk.f_bfree) * block + bytes_freed(context, old_version);
    if (needed <= available)
        return true;
    show_error(context, "can not upgrade to %s: the disk is too small for it (%llu KiB more needed)",
               candidate.label().c_str(), static_cast<unsigned long long>((needed - available + 1023) / 1024));
    return false;
}
