#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/package_header.h"
#include "common/part_reader.h"
#include "package_bytes.h"

namespace {

constexpr std::uint32_t V1 = 0x01006600;
constexpr std::uint32_t V2 = 0x02006600;

// Reads the header as the repository scan does; returns whether it succeeded.
bool read_scan_header(const std::string& bytes, package_header& record, std::int32_t* left_on = nullptr)
{
    std::stringbuf buffer(bytes);
    part_reader reader(&buffer);
    for (std::int32_t type : {18, 1, 16, 3, 19, 17})
        reader.accept(type);
    reader.next_part();
    bool ok = read_header(reader, record);
    if (left_on)
        *left_on = reader.current_type();
    return ok;
}

}  // namespace

TEST(package_header, header_and_optional_parts_fill_the_record)
{
    std::string bytes = file_bytes({
        part_bytes(1, header_payload("sixteen-chars-ab", V2, 1234)),
        part_bytes(2, "description is not taken here"),
        part_bytes(16, "i486"),
        part_bytes(3, name_list_payload({{"libc", V1, V2, 0}, {"zlib"}})),
        part_bytes(19, name_list_payload({{"shell", 0, 0, -3}})),
        part_bytes(17, name_list_payload({})),
        part_bytes(4, "files"),
    });
    package_header record;
    std::int32_t left_on = 0;
    ASSERT_TRUE(read_scan_header(bytes, record, &left_on));
    EXPECT_EQ(record.name, "sixteen-chars-ab");
    EXPECT_EQ(record.version, V2);
    EXPECT_EQ(record.build_time, 1234u);
    EXPECT_EQ(record.architecture, "i486");
    EXPECT_EQ(record.dependencies, (std::vector<dependency_entry>{{"libc", V1, V2, 0}, {"zlib", 0, 0, 0}}));
    EXPECT_EQ(record.provides, (std::vector<dependency_entry>{{"shell", 0, 0, -3}}));
    EXPECT_TRUE(record.conflicts.empty());
    EXPECT_FALSE(record.is_bundle);
    EXPECT_EQ(left_on, -1) << "the files part is not accepted by the scan";
}

TEST(package_header, layouts_that_readers_must_take_or_refuse)
{
    const std::string header = part_bytes(1, header_payload("abc", V1, 0));
    const struct {
        const char* name;
        std::string bytes;
        bool ok;
        std::string architecture;
        std::size_t provides;
        std::int32_t left_on;
    } cases[] = {
        {"no architecture part", file_bytes({header}), true, "i386", 0, -1},
        {"provides after conflicts is not taken",
         file_bytes({header, part_bytes(17, name_list_payload({{"x"}})), part_bytes(19, name_list_payload({{"y"}}))}),
         true, "i386", 0, PART_PROVIDES},
        {"unknown part between header parts",
         file_bytes({header, part_bytes(77, "??"), part_bytes(19, name_list_payload({{"y"}}))}), true, "i386", 1, -1},
        {"count 2 with one entry", file_bytes({header, part_bytes(3, name_list_payload({{"x"}}, 2))}), false, "", 0, 0},
        {"short header record", file_bytes({part_bytes(1, std::string(31, 'a'))}), false, "", 0, 0},
        {"first part is not a header", file_bytes({part_bytes(3, name_list_payload({})), header}), false, "", 0, 0},
        {"no parts at all", file_bytes({}), false, "", 0, 0},
    };
    for (const auto& c : cases) {
        package_header record;
        std::int32_t left_on = 0;
        EXPECT_EQ(read_scan_header(c.bytes, record, &left_on), c.ok) << c.name;
        if (!c.ok)
            continue;
        EXPECT_EQ(record.name, "abc") << c.name;
        EXPECT_EQ(record.architecture, c.architecture) << c.name;
        EXPECT_EQ(record.provides.size(), c.provides) << c.name;
        EXPECT_EQ(left_on, c.left_on) << c.name;
    }
}

TEST(package_header, huge_architecture_part_is_kept_only_in_part)
{
    std::string bytes = file_bytes({part_bytes(1, header_payload("p", V1, 0)), part_bytes(16, std::string(1 << 20, 'x')),
                                    part_bytes(3, name_list_payload({{"libc"}}))});
    pipe_buffer pipe(bytes);
    part_reader reader(&pipe);
    for (std::int32_t type : {1, 16, 3})
        reader.accept(type);
    reader.next_part();
    package_header record;
    ASSERT_TRUE(read_header(reader, record));
    EXPECT_EQ(record.architecture, std::string(MAX_ARCHITECTURE_TEXT, 'x'));
    EXPECT_EQ(record.dependencies.size(), 1u) << "the rest of the part is skipped, not taken for the next part";
}
