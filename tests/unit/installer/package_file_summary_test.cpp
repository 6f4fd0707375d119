#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/byte_order.h"
#include "common/package_bytes.h"
#include "common/package_header.h"
#include "common/part_reader.h"
#include "installer/package/repository_package.h"

namespace {

constexpr std::uint32_t V1 = 0x01006600;
constexpr std::uint32_t V2 = 0x02006600;

}  // namespace

TEST(repository_package, file_summary_checks_size_and_bundle_members)
{
    const std::string bundle = part_bytes(18, header_payload("base", V2, 7));
    const std::string member = part_bytes(1, header_payload("core", V1, 7));
    const std::string good_single = file_bytes({part_bytes(1, header_payload("p", V1, 7)), part_bytes(4, "data")});
    std::string one_short = good_single;
    put_u32(reinterpret_cast<unsigned char*>(one_short.data()) + 4, std::uint32_t(one_short.size() - 9));
    const struct {
        const char* name;
        std::string bytes;
        bool ok;
        std::size_t members;
    } cases[] = {
        {"single package", good_single, true, 0},
        {"length field one short", one_short, false, 0},
        {"bundle with members and skipped data between them",
         file_bytes({bundle, part_bytes(20, name_list_payload({{"core"}})), member, part_bytes(4, "zz"), part_bytes(7, "s"),
                     part_bytes(1, header_payload("extra", V1, 7))}),
         true, 2},
        {"bundle without a package", file_bytes({bundle, part_bytes(4, "zz")}), false, 0},
        {"bundle whose member is cut", file_bytes({bundle, part_bytes(1, "short")}), false, 0},
    };
    char pattern[] = "/tmp/summary_test.XXXXXX";
    int descriptor = mkstemp(pattern);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    for (const auto& c : cases) {
        std::ofstream(pattern, std::ios::binary | std::ios::trunc) << c.bytes;
        repository_package record;
        EXPECT_EQ(read_file_summary(pattern, record), c.ok) << c.name;
        EXPECT_EQ(record.contained_packages.size(), c.members) << c.name;
        EXPECT_EQ(record.path, pattern);
    }
    // The same bytes read from a stream are not measured against anything.
    std::stringbuf stream(one_short);
    part_reader reader(&stream);
    reader.accept(PART_PACKAGE);
    package_header record;
    reader.next_part();
    EXPECT_TRUE(read_header(reader, record));
    unlink(pattern);
    repository_package unnamed;
    EXPECT_FALSE(read_file_summary("", unnamed));
}
