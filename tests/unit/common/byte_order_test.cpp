#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "common/byte_order.h"

TEST(byte_order, sixty_four_bit_fields_are_little_endian_both_ways)
{
    const struct {
        std::uint64_t value;
        const char* bytes;
    } cases[] = {
        {0, "\x00\x00\x00\x00\x00\x00\x00\x00"},
        {0x0102030405060708, "\x08\x07\x06\x05\x04\x03\x02\x01"},
        {0xfffffffe00000001, "\x01\x00\x00\x00\xfe\xff\xff\xff"},
        {0x80000000, "\x00\x00\x00\x80\x00\x00\x00\x00"},
        {UINT64_MAX, "\xff\xff\xff\xff\xff\xff\xff\xff"},
    };
    for (const auto& c : cases) {
        unsigned char written[8];
        put_u64(written, c.value);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(written), 8), std::string(c.bytes, 8)) << c.value;
        EXPECT_EQ(get_u64(reinterpret_cast<const unsigned char*>(c.bytes)), c.value) << c.value;
    }
}
