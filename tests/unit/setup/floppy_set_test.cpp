// Floppy parts: group checking and mending, the prompt's ordinals, and one part copied into the
// installer's stream. Parts are put together here byte by byte with zlib's CRC-32, independently of
// the set builder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "common/byte_order.h"
#include "common/floppy_group.h"
#include "console_capture.h"
#include "setup/disk/floppy_part_copy.h"
#include "setup/disk/floppy_part_prompt.h"
#include "setup/support/process_runner.h"

namespace {

floppy_set_header layout(std::uint16_t block_size, std::uint16_t blocks, std::uint16_t parity, std::uint32_t payload)
{
    floppy_set_header header;
    header.magic = FLOPPY_PART_MAGIC;
    header.payload_length = payload;
    header.set_identifier = 0x5e7;
    header.part_count = 3;
    header.block_size = block_size;
    header.blocks_per_group = blocks;
    header.parity_blocks = parity;
    return header;
}

std::string payload_of(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + seed * 17 + (i >> 7)) & 0xff);
    return bytes;
}

// Groups of the payload as stored: data areas, every parity block the XOR of them, each block
// followed by its CRC-32.
std::string groups_of(const floppy_set_header& header, const std::string& payload)
{
    const std::size_t data = header.block_size - 4u, data_blocks = header.blocks_per_group - header.parity_blocks;
    std::string out;
    for (std::size_t at = 0; at < payload.size();) {
        std::vector<std::string> blocks;
        std::string parity(data, '\0');
        for (std::size_t b = 0; b < data_blocks; ++b, at += data) {
            std::string block = at < payload.size() ? payload.substr(at, data) : "";
            block.resize(data, '\0');
            for (std::size_t i = 0; i < data; ++i)
                parity[i] = char(parity[i] ^ block[i]);
            blocks.push_back(block);
        }
        for (std::size_t p = 0; p < header.parity_blocks; ++p)
            blocks.push_back(parity);
        for (const std::string& block : blocks) {
            unsigned char sum[4];
            put_u32(sum, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(block.data()), uInt(block.size()))));
            out += block;
            out.append(reinterpret_cast<char*>(sum), 4);
        }
    }
    return out;
}

std::string part_of(const floppy_set_header& header, const std::string& payload)
{
    unsigned char raw[FLOPPY_HEADER_SIZE];
    encode_floppy_header(header, raw);
    return std::string(reinterpret_cast<char*>(raw), sizeof raw) + groups_of(header, payload);
}

void spoil(std::string& stored, const floppy_set_header& header, std::size_t group, std::size_t block,
           std::size_t offset = 0)
{
    stored[(group * header.blocks_per_group + block) * header.block_size + offset] ^= 0x5a;
}

}  // namespace

TEST(floppy_group, verification_mends_at_most_one_data_block_per_parity_block)
{
    struct case_ {
        const char* name;
        std::uint16_t parity;
        std::vector<std::size_t> spoiled;  // blocks of the group
        std::size_t spoiled_offset;
        group_state state;
        int repaired;
    } cases[] = {
        {"no damage", 1, {}, 0, group_state::intact, -1},
        {"parity block only", 1, {5}, 7, group_state::intact, -1},
        {"one data block", 1, {2}, 3, group_state::repaired, 2},
        {"a data block's checksum", 1, {0}, 60, group_state::repaired, 0},
        {"two data blocks", 1, {1, 3}, 0, group_state::ruined, -1},
        {"a data block and the parity", 1, {4, 5}, 0, group_state::ruined, -1},
        {"a data block without parity", 0, {2}, 0, group_state::ruined, -1},
        {"a data block with two parity blocks", 2, {1}, 0, group_state::ruined, -1},
        {"one of two parity blocks", 2, {5}, 0, group_state::intact, -1},
    };
    for (const case_& c : cases) {
        floppy_set_header header = layout(64, 6, c.parity, (6 - c.parity) * 60);
        std::string payload = payload_of(header.payload_length, 1);
        std::string stored = groups_of(header, payload);
        for (std::size_t block : c.spoiled)
            spoil(stored, header, 0, block, c.spoiled_offset);
        group_check check = verify_floppy_group(reinterpret_cast<unsigned char*>(stored.data()), header);
        EXPECT_EQ(check.state, c.state) << c.name;
        EXPECT_EQ(check.repaired_block, c.repaired) << c.name;
        if (check.state == group_state::ruined)
            continue;
        for (std::size_t b = 0; b < 6u - c.parity; ++b)
            EXPECT_EQ(stored.substr(b * 64, 60), payload.substr(b * 60, 60)) << c.name << " block " << b;
    }
}

TEST(floppy_prompt, ordinals_say_st_nd_rd_only_for_one_to_three)
{
    const std::pair<unsigned, const char*> cases[] = {
        {1, "1st"}, {2, "2nd"}, {3, "3rd"}, {4, "4th"}, {11, "11th"}, {12, "12th"},
        {21, "21th"}, {22, "22th"}, {23, "23th"}, {0, "0th"}, {65537, "65537th"},
    };
    for (const auto& [number, text] : cases)
        EXPECT_EQ(floppy_ordinal(number), text) << number;
}

class floppy_copy : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::strcpy(log_path, "/tmp/flXXXXXX");
        close(mkstemp(log_path));
        std::strcpy(log_device, log_path);
    }
    void TearDown() override
    {
        unlink(log_path);
        std::strcpy(log_device, "/dev/null");
    }

    // Copies `part` as a file into a temporary stream standing in for installer's input.
    int copy(const std::string& part, std::string& written, std::FILE* installer = nullptr)
    {
        std::FILE* file = std::tmpfile();
        std::fwrite(part.data(), 1, part.size(), file);
        std::rewind(file);
        std::FILE* sink = installer ? installer : std::tmpfile();
        captured_output console;
        int result = copy_floppy_part(set, file, sink);
        console.finish();
        std::fclose(file);
        written.clear();
        if (!installer) {
            std::rewind(sink);
            char buffer[4096];
            for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, sink)) > 0;)
                written.append(buffer, got);
        }
        std::fclose(sink);
        return result;
    }

    std::string log_text()
    {
        std::ifstream log(log_path);
        return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    }

    char log_path[16];
    floppy_set_header set;
};

TEST_F(floppy_copy, good_and_mended_parts_reach_the_installer_whole)
{
    struct case_ {
        const char* name;
        std::uint32_t payload;
        std::size_t spoil_group, spoil_block;  // spoil_block 99: none
        const char* log;
    } cases[] = {
        {"payload of whole groups", 4 * 7 * 124, 0, 99, ""},
        {"payload ending inside a group", 2 * 7 * 124 + 130, 0, 99, ""},
        {"one data block mended", 3 * 7 * 124, 1, 6, "Recovering bad block #6\n"},
        {"a spoilt block in the dropped rest of the last group", 7 * 124 + 10, 1, 5, "Recovering bad block #5\n"},
        {"parity block spoilt", 7 * 124, 0, 7, ""},
    };
    for (const case_& c : cases) {
        set = floppy_set_header();
        truncate(log_path, 0);
        floppy_set_header header = layout(128, 8, 1, c.payload);
        std::string payload = payload_of(c.payload, 2);
        std::string part = part_of(header, payload);
        if (c.spoil_block != 99)
            spoil(part, header, c.spoil_group, c.spoil_block, FLOPPY_HEADER_SIZE + 40);
        std::string written;
        EXPECT_EQ(copy(part, written), int(c.payload)) << c.name;
        EXPECT_TRUE(written == payload) << c.name;
        EXPECT_EQ(log_text(), c.log) << c.name;
        EXPECT_EQ(set.part_count, 3) << c.name;
        EXPECT_EQ(set.set_identifier, 0x5e7u) << c.name;
    }
}

TEST_F(floppy_copy, bad_parts_write_nothing_and_leave_the_set_as_it_was)
{
    // The set has read its first part; the cases offer candidates for the second.
    floppy_set_header first = layout(128, 8, 1, 500);
    std::string payload = payload_of(1000, 3);
    auto second = [&](auto change) {
        floppy_set_header header = layout(128, 8, 1, std::uint32_t(payload.size()));
        header.part_index = 1;
        std::string part = part_of(header, payload);
        change(header, part);
        return part;
    };
    auto rewrite = [](std::string& part, const floppy_set_header& header) {
        encode_floppy_header(header, reinterpret_cast<unsigned char*>(part.data()));
    };
    struct case_ {
        const char* name;
        std::string part;
    } cases[] = {
        {"short header", second([](auto&, std::string& p) { p.resize(31); })},
        {"wrong magic", second([&](auto& h, std::string& p) { h.magic ^= 1; rewrite(p, h); })},
        {"another set", second([&](auto& h, std::string& p) { h.set_identifier = 9; rewrite(p, h); })},
        {"part out of order", second([&](auto& h, std::string& p) { h.part_index = 2; rewrite(p, h); })},
        {"another part count", second([&](auto& h, std::string& p) { h.part_count = 4; rewrite(p, h); })},
        {"two blocks spoilt in one group", second([&](auto& h, std::string& p) {
             spoil(p, h, 0, 1, 32);
             spoil(p, h, 0, 3, 32);
         })},
        {"file cut inside the last group", second([](auto&, std::string& p) { p.resize(p.size() - 1); })},
        {"payload larger than the file holds", second([&](auto& h, std::string& p) { h.payload_length = 0xfffffff0; rewrite(p, h); })},
        {"payload of 0", second([&](auto& h, std::string& p) { h.payload_length = 0; rewrite(p, h); })},
        {"block of 4 bytes", second([&](auto& h, std::string& p) { h.block_size = 4; rewrite(p, h); })},
        {"no data block in a group", second([&](auto& h, std::string& p) { h.parity_blocks = 8; rewrite(p, h); })},
        {"group over 1 MiB", second([&](auto& h, std::string& p) { h.block_size = 0x8001; h.blocks_per_group = 32; rewrite(p, h); })},
    };
    for (const case_& c : cases) {
        set = first;
        std::string written;
        EXPECT_EQ(copy(c.part, written), 0) << c.name;
        EXPECT_EQ(written, "") << c.name;
        EXPECT_EQ(std::memcmp(&set, &first, sizeof set), 0) << c.name;
    }
    // After all of them the right floppy is still taken.
    std::string written;
    EXPECT_EQ(copy(second([](auto&, std::string&) {}), written), int(payload.size()));
    EXPECT_EQ(set.part_index, 1);
}

TEST_F(floppy_copy, a_failed_write_to_the_installer_is_fatal)
{
    std::string written;
    std::string payload = payload_of(9000, 4);
    EXPECT_EQ(copy(part_of(layout(512, 4, 1, 9000), payload), written, std::fopen("/dev/full", "w")), -1);
    EXPECT_EQ(set.magic, 0u);
}
