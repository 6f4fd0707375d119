#include "common/floppy_part_header.h"

#include <cstring>

#include "common/byte_order.h"

void decode_floppy_header(const unsigned char* bytes, floppy_set_header& header)
{
    header.magic = get_u32(bytes);
    header.payload_length = get_u32(bytes + 4);
    header.set_identifier = get_u32(bytes + 8);
    header.part_index = get_u16(bytes + 12);
    header.part_count = get_u16(bytes + 14);
    header.block_size = get_u16(bytes + 16);
    header.blocks_per_group = get_u16(bytes + 18);
    header.parity_blocks = get_u16(bytes + 20);
    std::memcpy(header.reserved, bytes + 22, sizeof header.reserved);
}

void encode_floppy_header(const floppy_set_header& header, unsigned char* bytes)
{
    put_u32(bytes, header.magic);
    put_u32(bytes + 4, header.payload_length);
    put_u32(bytes + 8, header.set_identifier);
    put_u16(bytes + 12, header.part_index);
    put_u16(bytes + 14, header.part_count);
    put_u16(bytes + 16, header.block_size);
    put_u16(bytes + 18, header.blocks_per_group);
    put_u16(bytes + 20, header.parity_blocks);
    std::memcpy(bytes + 22, header.reserved, sizeof header.reserved);
}

std::uint64_t floppy_group_count(const floppy_set_header& header)
{
    std::uint64_t per_group = std::uint64_t(floppy_block_data_size(header)) * floppy_data_blocks(header);
    return (header.payload_length + per_group - 1) / per_group;
}

bool floppy_layout_usable(const floppy_set_header& header, std::uint64_t part_size)
{
    if (header.magic != FLOPPY_PART_MAGIC || header.payload_length == 0)
        return false;
    if (header.block_size <= FLOPPY_CHECKSUM_SIZE || header.parity_blocks >= header.blocks_per_group)
        return false;
    if (floppy_group_bytes(header) > FLOPPY_MAX_GROUP_BYTES)
        return false;
    if (header.part_index >= header.part_count)
        return false;
    // Whatever the header claims, the payload can be no larger than the groups the file holds.
    std::uint64_t stored = FLOPPY_HEADER_SIZE + floppy_group_count(header) * floppy_group_bytes(header);
    return stored <= part_size;
}
