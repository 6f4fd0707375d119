#pragma once

// The 32-byte header that opens every part file of a floppy set, and the layout it describes. The
// record is a plain value: setup keeps the header of the part read last in its setup_context, the
// set builder fills one per part it writes. On the floppy the fields are little-endian, in the
// order below, followed by 10 reserved bytes.

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t FLOPPY_PART_MAGIC = 0x72847299;
constexpr std::size_t FLOPPY_HEADER_SIZE = 32;
// A group is held in memory whole while it is checked; this bounds that buffer.
constexpr std::uint32_t FLOPPY_MAX_GROUP_BYTES = 1048576;
// Bytes of CRC-32 at the end of every block.
constexpr std::uint32_t FLOPPY_CHECKSUM_SIZE = 4;

struct floppy_set_header {
    std::uint32_t magic = 0;
    std::uint32_t payload_length = 0;
    std::uint32_t set_identifier = 0;
    std::uint16_t part_index = 0;
    std::uint16_t part_count = 1;  // before the first part: a set of one
    std::uint16_t block_size = 0;  // including the checksum
    std::uint16_t blocks_per_group = 0;  // parity blocks included
    std::uint16_t parity_blocks = 0;  // the last ones of each group
    std::uint8_t reserved[10] = {};
};

void decode_floppy_header(const unsigned char* bytes, floppy_set_header& header);
void encode_floppy_header(const floppy_set_header& header, unsigned char* bytes);

// Data bytes of one block, data blocks of one group, bytes of one group as stored.
inline std::uint32_t floppy_block_data_size(const floppy_set_header& header)
{
    return header.block_size - FLOPPY_CHECKSUM_SIZE;
}
inline std::uint32_t floppy_data_blocks(const floppy_set_header& header)
{
    return std::uint32_t(header.blocks_per_group) - header.parity_blocks;
}
inline std::uint32_t floppy_group_bytes(const floppy_set_header& header)
{
    return std::uint32_t(header.block_size) * header.blocks_per_group;
}

// Whole groups the payload needs. Only meaningful for a header that floppy_layout_usable accepts.
std::uint64_t floppy_group_count(const floppy_set_header& header);

// Whether a part with this header can be read at all: the magic, a payload, a block with room for
// data beside its checksum, a data block in every group, a group within the memory bound, a part
// number inside the set, and a file of `part_size` bytes long enough for every group the payload
// needs. A part that fails here is bad before anything is allocated for it.
bool floppy_layout_usable(const floppy_set_header& header, std::uint64_t part_size);
