#include "tools/floppyset/block_damage.h"

#include <fstream>
#include <iostream>

#include "common/floppy_part_header.h"

bool damage_block(const std::string& part, unsigned group, unsigned block)
{
    std::fstream file(part, std::ios::binary | std::ios::in | std::ios::out | std::ios::ate);
    if (!file) {
        std::cerr << "floppyset: can't open " << part << "\n";
        return false;
    }
    std::uint64_t size = std::uint64_t(file.tellg());
    file.seekg(0);
    unsigned char raw[FLOPPY_HEADER_SIZE];
    floppy_set_header header;
    if (file.read(reinterpret_cast<char*>(raw), sizeof raw))
        decode_floppy_header(raw, header);
    if (!floppy_layout_usable(header, size) || group >= floppy_group_count(header) || block >= header.blocks_per_group) {
        std::cerr << "floppyset: " << part << " has no block " << block << " in group " << group << "\n";
        return false;
    }
    std::uint64_t offset = FLOPPY_HEADER_SIZE + group * std::uint64_t(floppy_group_bytes(header)) +
                           std::uint64_t(block) * header.block_size;
    char byte = 0;
    file.seekg(std::streamoff(offset));
    file.read(&byte, 1);
    byte = char(~byte);
    file.seekp(std::streamoff(offset));
    if (!file.write(&byte, 1).flush()) {
        std::cerr << "floppyset: can't write " << part << "\n";
        return false;
    }
    return true;
}
