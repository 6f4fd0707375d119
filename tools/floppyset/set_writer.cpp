#include "tools/floppyset/set_writer.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include <zlib.h>

#include "common/floppy_group.h"

namespace {

bool read_stream(const std::vector<std::string>& packages, std::string& stream)
{
    for (const std::string& path : packages) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::cerr << "floppyset: can't open " << path << "\n";
            return false;
        }
        stream.append(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (file.bad()) {
            std::cerr << "floppyset: can't read " << path << "\n";
            return false;
        }
    }
    if (stream.empty()) {
        std::cerr << "floppyset: the packages hold no bytes\n";
        return false;
    }
    return true;
}

bool write_part(const std::string& path, const floppy_set_header& header, const char* payload)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    unsigned char raw[FLOPPY_HEADER_SIZE];
    encode_floppy_header(header, raw);
    file.write(reinterpret_cast<const char*>(raw), sizeof raw);
    const std::uint32_t data_size = floppy_block_data_size(header);
    std::string group(floppy_group_bytes(header), '\0');
    unsigned char* bytes = reinterpret_cast<unsigned char*>(group.data());
    std::uint32_t placed = 0;
    for (std::uint64_t g = floppy_group_count(header); g > 0; --g) {
        std::memset(bytes, 0, group.size());
        for (std::uint32_t block = 0; block < floppy_data_blocks(header) && placed < header.payload_length; ++block) {
            std::uint32_t take = std::min(data_size, header.payload_length - placed);
            std::memcpy(bytes + std::size_t(block) * header.block_size, payload + placed, take);
            placed += take;
        }
        seal_floppy_group(bytes, header);
        file.write(group.data(), std::streamsize(group.size()));
    }
    if (!file.flush()) {
        std::cerr << "floppyset: can't write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace

std::string part_file_name(unsigned index)
{
    char name[32];
    std::snprintf(name, sizeof name, "kestrova.n%2.2u", index);
    return name;
}

bool write_floppy_set(const set_layout& layout, const std::vector<std::string>& packages,
                      const std::string& output_dir, std::vector<std::string>& parts)
{
    floppy_set_header header;
    header.magic = FLOPPY_PART_MAGIC;
    header.block_size = layout.block_size;
    header.blocks_per_group = layout.blocks_per_group;
    header.parity_blocks = layout.parity_blocks;
    if (header.block_size <= FLOPPY_CHECKSUM_SIZE || header.parity_blocks >= header.blocks_per_group ||
        floppy_group_bytes(header) > FLOPPY_MAX_GROUP_BYTES) {
        std::cerr << "floppyset: blocks must be larger than 4 bytes, groups need a data block and at most 1 MiB\n";
        return false;
    }
    std::uint64_t groups_per_part = layout.capacity < FLOPPY_HEADER_SIZE ? 0 : (layout.capacity - FLOPPY_HEADER_SIZE) / floppy_group_bytes(header);
    std::uint64_t per_part = groups_per_part * floppy_block_data_size(header) * floppy_data_blocks(header);
    if (per_part == 0 || per_part > 0x7fffffff) {
        std::cerr << "floppyset: a capacity of " << layout.capacity << " bytes holds no whole group or too much\n";
        return false;
    }
    std::string stream;
    if (!read_stream(packages, stream))
        return false;
    std::uint64_t count = (stream.size() + per_part - 1) / per_part;
    if (count > 0xffff) {
        std::cerr << "floppyset: the stream needs " << count << " parts, more than a set can have\n";
        return false;
    }
    header.part_count = std::uint16_t(count);
    header.set_identifier = layout.identifier_given
        ? layout.set_identifier
        : std::uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(stream.data()), uInt(stream.size())));
    for (std::uint64_t index = 0; index < count; ++index) {
        std::uint64_t offset = index * per_part;
        header.part_index = std::uint16_t(index);
        header.payload_length = std::uint32_t(std::min<std::uint64_t>(per_part, stream.size() - offset));
        std::string path = output_dir + "/" + part_file_name(unsigned(index));
        if (!write_part(path, header, stream.data() + offset))
            return false;
        parts.push_back(path);
    }
    return true;
}
