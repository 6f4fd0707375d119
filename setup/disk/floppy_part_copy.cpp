#include "setup/disk/floppy_part_copy.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "common/floppy_group.h"
#include "setup/support/process_runner.h"
#include "setup/tui/progress_bar.h"

namespace {

constexpr std::size_t WRITE_PIECE = 4096;
constexpr std::uint32_t BAR_WIDTH = 70;
// Groups are a few KiB; reading the floppy in larger requests saves most of the system calls.
constexpr std::size_t READ_BUFFER = 65536;

// The buffers of one part; released whatever way the part ends.
struct part_buffers {
    unsigned char* payload = nullptr;
    unsigned char* group = nullptr;
    ~part_buffers()
    {
        std::free(payload);
        std::free(group);
    }
};

// The header of a part that may follow `set_header`: a part of the same set, the next one in order,
// laid out so that the file can hold all of its payload.
bool acceptable_header(const floppy_set_header& set_header, const floppy_set_header& header, std::FILE* part)
{
    if (header.magic != FLOPPY_PART_MAGIC)
        return false;
    bool set_begun = set_header.magic == FLOPPY_PART_MAGIC;
    if (set_begun && header.set_identifier != set_header.set_identifier)
        return false;
    // The file name alone keeps the parts in order; a part whose header disagrees would put its
    // payload into the wrong place of the stream.
    unsigned expected_index = set_begun ? set_header.part_index + 1u : 0u;
    if (header.part_index != expected_index || (set_begun && header.part_count != set_header.part_count))
        return false;
    struct stat status;
    if (fstat(fileno(part), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    return header.payload_length <= INT_MAX && floppy_layout_usable(header, std::uint64_t(status.st_size));
}

void log_repair(int block)
{
    std::FILE* log = std::fopen(log_device, "a");
    if (!log)
        return;
    std::fprintf(log, "Recovering bad block #%d\n", block);
    std::fclose(log);
}

// Reads, checks and mends every group and gathers the payload; false for a bad part.
bool read_payload(const floppy_set_header& header, std::FILE* part, part_buffers& buffers, progress_bar& bar,
                  std::uint32_t& steps)
{
    const std::uint32_t data_size = floppy_block_data_size(header);
    const std::uint32_t data_blocks = floppy_data_blocks(header);
    const std::size_t group_bytes = floppy_group_bytes(header);
    std::uint32_t gathered = 0;
    while (gathered < header.payload_length) {
        if (std::fread(buffers.group, 1, group_bytes, part) != group_bytes)
            return false;
        group_check check = verify_floppy_group(buffers.group, header);
        if (check.state == group_state::ruined)
            return false;
        if (check.state == group_state::repaired)
            log_repair(check.repaired_block);
        progress_bar_update(bar, ++steps);
        for (std::uint32_t block = 0; block < data_blocks && gathered < header.payload_length; ++block) {
            std::uint32_t take = header.payload_length - gathered < data_size ? header.payload_length - gathered : data_size;
            std::memcpy(buffers.payload + gathered, buffers.group + std::size_t(block) * header.block_size, take);
            gathered += take;
        }
    }
    return true;
}

}  // namespace

int copy_floppy_part(floppy_set_header& set_header, std::FILE* part, std::FILE* installer)
{
    progress_bar bar;
    progress_bar_init(bar, BAR_WIDTH, 100);
    std::uint32_t steps = 0;

    unsigned char raw[FLOPPY_HEADER_SIZE];
    floppy_set_header header;
    // One part is open at a time, and the buffer must outlive the stream, which the caller closes.
    static char read_buffer[READ_BUFFER];
    std::setvbuf(part, read_buffer, _IOFBF, sizeof read_buffer);
    if (std::fread(raw, 1, sizeof raw, part) != sizeof raw)
        return 0;
    decode_floppy_header(raw, header);
    if (!acceptable_header(set_header, header, part))
        return 0;

    std::printf("Installing part %d of %d...\n", header.part_index + 1, header.part_count);
    progress_bar_begin(bar);
    std::uint64_t blocks = (std::uint64_t(header.payload_length) + header.block_size - 1) / header.block_size;
    bar.total = std::uint32_t((blocks + floppy_data_blocks(header) - 1) / floppy_data_blocks(header) + 2);

    part_buffers buffers;
    buffers.payload = static_cast<unsigned char*>(std::malloc(header.payload_length));
    buffers.group = static_cast<unsigned char*>(std::malloc(floppy_group_bytes(header)));
    if (!buffers.payload || !buffers.group || !read_payload(header, part, buffers, bar, steps)) {
        progress_bar_end(bar);
        return 0;
    }

    std::uint32_t written = 0;
    while (written < header.payload_length) {
        std::size_t piece = header.payload_length - written < WRITE_PIECE ? header.payload_length - written : WRITE_PIECE;
        if (std::fwrite(buffers.payload + written, 1, piece, installer) != piece) {
            progress_bar_end(bar);
            return -1;
        }
        written += std::uint32_t(piece);
        if (header.payload_length - written < header.payload_length / 2)
            progress_bar_update(bar, ++steps);
    }
    // A write error that stays in the stream's buffer would otherwise pass for success.
    if (std::fflush(installer) != 0) {
        progress_bar_end(bar);
        return -1;
    }
    std::free(buffers.payload);
    buffers.payload = nullptr;
    progress_bar_update(bar, bar.total);
    progress_bar_end(bar);
    set_header = header;
    return int(header.payload_length);
}
