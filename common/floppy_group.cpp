#include "common/floppy_group.h"

#include <cstring>

#include <zlib.h>

#include "common/byte_order.h"

namespace {

std::uint32_t data_checksum(const unsigned char* data, std::uint32_t size)
{
    return std::uint32_t(crc32(crc32(0L, Z_NULL, 0), data, size));
}

// Word-wise where the bytes allow it; groups are rebuilt at most once each, but sealing touches
// every byte of a set.
void xor_into(unsigned char* target, const unsigned char* source, std::uint32_t size)
{
    std::uint32_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, target + i, 8);
        std::memcpy(&b, source + i, 8);
        a ^= b;
        std::memcpy(target + i, &a, 8);
    }
    for (; i < size; ++i)
        target[i] ^= source[i];
}

}  // namespace

group_check verify_floppy_group(unsigned char* group, const floppy_set_header& header)
{
    const std::uint32_t data_size = floppy_block_data_size(header);
    const std::uint32_t blocks = header.blocks_per_group;
    group_check check;
    int failed = -1;
    for (std::uint32_t block = 0; block < blocks; ++block) {
        const unsigned char* data = group + std::size_t(block) * header.block_size;
        if (data_checksum(data, data_size) == get_u32(data + data_size))
            continue;
        if (failed >= 0) {
            check.state = group_state::ruined;
            return check;
        }
        failed = int(block);
    }
    if (failed < 0 || std::uint32_t(failed) >= floppy_data_blocks(header))
        return check;
    if (header.parity_blocks != 1) {
        check.state = group_state::ruined;
        return check;
    }
    unsigned char* rebuilt = group + std::size_t(failed) * header.block_size;
    std::memset(rebuilt, 0, data_size);
    for (std::uint32_t block = 0; block < blocks; ++block)
        if (int(block) != failed)
            xor_into(rebuilt, group + std::size_t(block) * header.block_size, data_size);
    check.state = group_state::repaired;
    check.repaired_block = failed;
    return check;
}

void seal_floppy_group(unsigned char* group, const floppy_set_header& header)
{
    const std::uint32_t data_size = floppy_block_data_size(header);
    const std::uint32_t data_blocks = floppy_data_blocks(header);
    for (std::uint32_t parity = data_blocks; parity < header.blocks_per_group; ++parity) {
        unsigned char* target = group + std::size_t(parity) * header.block_size;
        std::memset(target, 0, data_size);
        for (std::uint32_t block = 0; block < data_blocks; ++block)
            xor_into(target, group + std::size_t(block) * header.block_size, data_size);
    }
    for (std::uint32_t block = 0; block < header.blocks_per_group; ++block) {
        unsigned char* data = group + std::size_t(block) * header.block_size;
        put_u32(data + data_size, data_checksum(data, data_size));
    }
}
