#include "tools/floppyset/set_check.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "common/floppy_group.h"

namespace {

bool bad(const std::string& path, const char* reason)
{
    std::cerr << "floppyset: " << path << ": " << reason << "\n";
    return false;
}

// One part: its header against the set so far, then every group.
bool check_part(const std::string& path, unsigned position, floppy_set_header& set, std::string& stream)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return bad(path, "can't open");
    std::uint64_t size = std::uint64_t(file.tellg());
    file.seekg(0);
    unsigned char raw[FLOPPY_HEADER_SIZE];
    if (!file.read(reinterpret_cast<char*>(raw), sizeof raw))
        return bad(path, "shorter than a part header");
    floppy_set_header header;
    decode_floppy_header(raw, header);
    if (!floppy_layout_usable(header, size))
        return bad(path, "the header describes no part this file can hold");
    if (header.part_index != position)
        return bad(path, "part number out of order");
    if (position > 0 && (header.set_identifier != set.set_identifier || header.part_count != set.part_count))
        return bad(path, "belongs to another set");
    std::string group(floppy_group_bytes(header), '\0');
    unsigned char* bytes = reinterpret_cast<unsigned char*>(group.data());
    std::uint32_t gathered = 0, mended = 0;
    const std::uint64_t groups = floppy_group_count(header);
    for (std::uint64_t g = 0; g < groups; ++g) {
        if (!file.read(group.data(), std::streamsize(group.size())))
            return bad(path, "cut short");
        group_check check = verify_floppy_group(bytes, header);
        if (check.state == group_state::ruined) {
            std::cerr << "floppyset: " << path << ": group " << g << " can't be mended\n";
            return false;
        }
        mended += check.state == group_state::repaired;
        for (std::uint32_t block = 0; block < floppy_data_blocks(header) && gathered < header.payload_length; ++block) {
            std::uint32_t take = std::min(floppy_block_data_size(header), header.payload_length - gathered);
            stream.append(group.data() + std::size_t(block) * header.block_size, take);
            gathered += take;
        }
    }
    std::printf("%s: part %u of %u, set %08x, %u bytes in %llu groups, %u mended\n", path.c_str(),
                header.part_index + 1u, unsigned(header.part_count), header.set_identifier, header.payload_length,
                static_cast<unsigned long long>(groups), mended);
    set = header;
    return true;
}

}  // namespace

bool check_floppy_set(const std::vector<std::string>& parts, std::string& stream)
{
    floppy_set_header set;
    for (unsigned position = 0; position < parts.size(); ++position)
        if (!check_part(parts[position], position, set, stream))
            return false;
    if (parts.size() != set.part_count)
        return bad(parts.back(), "the set has a different number of parts");
    return true;
}
