#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/part_reader.h"
#include "package_bytes.h"

namespace {

// Every behaviour is checked over a seekable file and over a pipe: setup feeds packages through one.
struct source {
    const char* kind;
    std::unique_ptr<std::streambuf> (*make)(const std::string&);
};

const source SOURCES[] = {
    {"file", [](const std::string& bytes) -> std::unique_ptr<std::streambuf> { return std::make_unique<std::stringbuf>(bytes); }},
    {"pipe", [](const std::string& bytes) -> std::unique_ptr<std::streambuf> { return std::make_unique<pipe_buffer>(bytes); }},
};

}  // namespace

TEST(part_reader, steps_over_unaccepted_parts_and_ends_failed)
{
    std::string bytes = file_bytes({part_bytes(1, "aaaa"), part_bytes(99, std::string(10000, 'x')), part_bytes(4, "bb"),
                                    part_bytes(7, "")});
    for (const auto& s : SOURCES) {
        auto buffer = s.make(bytes);
        part_reader reader(buffer.get());
        reader.accept(PART_FILES);
        reader.accept(PART_PACKAGE);
        reader.accept(PART_INSTALL_SCRIPT);
        EXPECT_EQ(reader.total_file_length(), bytes.size()) << s.kind;
        ASSERT_EQ(reader.next_part(), PART_PACKAGE) << s.kind;
        EXPECT_EQ(reader.position(), 14u);
        char first = 0;
        reader.get(first);  // the rest of the part is skipped by the next step
        EXPECT_EQ(first, 'a');
        ASSERT_EQ(reader.next_part(), PART_FILES) << s.kind;
        EXPECT_EQ(reader.position(), 14u + 4 + 6 + 10000 + 6);
        std::string payload(5, '\0');
        EXPECT_EQ(reader.readsome(payload.data(), 5), 2) << "reads stop at the part's end";
        EXPECT_EQ(reader.peek(), std::char_traits<char>::eof());
        EXPECT_TRUE(reader.eof() && !reader.fail());
        EXPECT_EQ(reader.next_part(), PART_INSTALL_SCRIPT) << "an end-of-file mark alone is cleared";
        EXPECT_EQ(reader.current_part_size(), 0u);
        EXPECT_EQ(reader.next_part(), -1) << s.kind;
        EXPECT_EQ(reader.current_type(), -1);
        EXPECT_TRUE(reader.eof() && reader.fail());
        EXPECT_EQ(reader.next_part(), -1) << "a failed reader stays at the end";
    }
}

TEST(part_reader, file_header_decides_whether_anything_can_be_read)
{
    const struct {
        const char* name;
        std::string bytes;
        bool readable;
        bool nodb;
    } cases[] = {
        {"ordinary", file_bytes({part_bytes(1, "x")}), true, false},
        {"no database", file_bytes({part_bytes(1, "x")}, PACKAGE_MAGIC_NODB), true, true},
        {"other magic", file_bytes({part_bytes(1, "x")}, 0xbad0f11f), false, false},
        {"seven bytes", file_bytes({}).substr(0, 7), false, false},
        {"empty", "", false, false},
    };
    for (const auto& c : cases)
        for (const auto& s : SOURCES) {
            auto buffer = s.make(c.bytes);
            part_reader reader(buffer.get());
            reader.accept(PART_PACKAGE);
            EXPECT_EQ(reader.good(), c.readable) << c.name << " " << s.kind;
            EXPECT_EQ(reader.is_nodb(), c.nodb) << c.name;
            EXPECT_EQ(reader.next_part(), c.readable ? PART_PACKAGE : -1) << c.name << " " << s.kind;
        }
}

TEST(part_reader, cut_off_data_ends_the_parts)
{
    std::string whole = file_bytes({part_bytes(1, "aaaa"), part_bytes(4, std::string(9000, 'z')), part_bytes(7, "s")});
    // Cut inside the second part's payload, and inside the third part's header.
    for (std::size_t cut : {std::size_t(8 + 10 + 6 + 100), whole.size() - 4}) {
        for (const auto& s : SOURCES) {
            auto buffer = s.make(whole.substr(0, cut));
            part_reader reader(buffer.get());
            for (std::int32_t type : {1, 7})
                reader.accept(type);
            ASSERT_EQ(reader.next_part(), PART_PACKAGE);
            EXPECT_EQ(reader.next_part(), -1) << s.kind << " cut at " << cut;
        }
    }
}

TEST(part_reader, seeks_stay_within_the_part)
{
    std::string bytes = file_bytes({part_bytes(4, "0123456789"), part_bytes(7, "next")});
    for (const auto& s : SOURCES) {
        bool pipe = std::string(s.kind) == "pipe";
        auto buffer = s.make(bytes);
        part_reader reader(buffer.get());
        reader.accept(PART_FILES);
        reader.accept(PART_INSTALL_SCRIPT);
        ASSERT_EQ(reader.next_part(), PART_FILES);
        EXPECT_FALSE(reader.unget()) << "nothing of the part was consumed yet";
        reader.clear();
        EXPECT_TRUE(reader.seekg(3, std::ios_base::beg)) << s.kind;
        EXPECT_EQ(reader.get(), '3');
        EXPECT_TRUE(reader.seekg(2, std::ios_base::cur));
        EXPECT_EQ(reader.get(), '6');
        EXPECT_TRUE(reader.unget());
        EXPECT_EQ(reader.get(), '6');
        EXPECT_TRUE(reader.seekg(1, std::ios_base::end));
        EXPECT_EQ(reader.get(), '9');
        EXPECT_FALSE(reader.seekg(11, std::ios_base::beg)) << "beyond the part";
        reader.clear();
        EXPECT_EQ(bool(reader.seekg(1, std::ios_base::beg)), !pipe) << "backwards only where the source can seek";
        reader.clear();
        ASSERT_EQ(reader.next_part(), PART_INSTALL_SCRIPT) << s.kind;
        std::string text(4, '\0');
        EXPECT_TRUE(reader.read(text.data(), 4));
        EXPECT_EQ(text, "next");
    }
}
