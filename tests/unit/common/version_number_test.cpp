#include <string>

#include <gtest/gtest.h>

#include "common/version_number.h"

TEST(version_number, text_form_of_every_stage)
{
    struct {
        version_number version;
        const char* text;
    } rows[] = {
        {0x02096603, "2.9.3"},     {0x02096600, "2.9"},       {0x03006102, "3.0alpha2"},
        {0x03006200, "3.0beta"},   {0x03006305, "3.0rc5"},    {0x03000007, "3.07"},
        {0x01006600, "1.0"},       {0x01006601, "1.0.1"},     {0xFFFF66FF, "255.255.255"},
        {0x01007802, "1.02"},      {0, "0.0"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(version_text(row.version), row.text) << std::hex << row.version;
}

TEST(version_number, order_is_stage_then_build_within_major_minor)
{
    const version_number ascending[] = {
        make_version(3, 0, 0, 7),   make_version(3, 0, 'a', 9), make_version(3, 0, 'b', 1),
        make_version(3, 0, 'c', 1), make_version(3, 0, 'f', 0), make_version(3, 0, 'f', 1),
        make_version(3, 1, 'a', 0),
    };
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        EXPECT_EQ(compare_versions(ascending[i], ascending[i + 1]), -1);
        EXPECT_EQ(compare_versions(ascending[i + 1], ascending[i]), 1);
        EXPECT_EQ(compare_versions(ascending[i], ascending[i]), 0);
    }
}

TEST(version_number, labels_are_complete_before_the_next_version_is_formatted)
{
    std::string first = package_label("web", 0x02096603);
    std::string second = package_label("web", 0x03006305);
    EXPECT_EQ(first + " " + second, "web-2.9.3 web-3.0rc5");
    EXPECT_EQ(bundle_label("suite", 0), "suite");
    EXPECT_EQ(bundle_label("suite", 0x01006600), "suite-1.0");
}

TEST(version_number, text_packs_every_stage_and_reads_back_the_same)
{
    const struct {
        const char* text;
        version_number packed;
    } cases[] = {
        {"2.9.3", 0x02096603}, {"2.9", 0x02096600},    {"3.0alpha2", 0x03006102}, {"3.0beta", 0x03006200},
        {"3.0rc5", 0x03006305}, {"1.0", 0x01006600},   {"255.255.255", 0xffff66ff}, {"0.1rc", 0x00016300},
    };
    for (const auto& c : cases) {
        version_number version = 0;
        ASSERT_TRUE(parse_version_text(c.text, version)) << c.text;
        EXPECT_EQ(version, c.packed) << c.text;
        EXPECT_STREQ(version_text(version), c.text);
    }
    for (const char* bad : {"", "3", "3.", ".3", "3.0.", "3.0gamma", "3.0rc5x", "256.0", "3.0.256", "3.0rc256",
                            "3.0-rc5", " 3.0", "3.0 ", "3.0.1.2", "-1.0", "a.b"}) {
        version_number version = 0;
        EXPECT_FALSE(parse_version_text(bad, version)) << "\"" << bad << "\"";
    }
}
