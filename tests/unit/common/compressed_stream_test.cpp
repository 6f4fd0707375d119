#include <istream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

#include "common/deflate_stream.h"
#include "common/file_record.h"
#include "common/inflate_stream.h"

namespace {

std::string compress(const std::string& data)
{
    std::stringbuf sink;
    deflate_stream stream(&sink);
    std::ostream out(&stream);
    out.write(data.data(), std::streamsize(data.size()));
    EXPECT_TRUE(stream.finish());
    return sink.str();
}

std::string pseudo_random_bytes(std::size_t size)
{
    std::mt19937 generator(7);
    std::string data(size, '\0');
    for (char& c : data)
        c = char(generator() % 7);  // compressible but not trivially
    return data;
}

}  // namespace

TEST(compressed_stream, round_trip_through_zlib_of_any_size)
{
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(4095), std::size_t(4096), std::size_t(100000)}) {
        std::string data = pseudo_random_bytes(size);
        std::string packed = compress(data);
        // Plain zlib must read what the writer produced.
        std::string plain(size + 1, '\0');
        uLongf plain_size = uLongf(plain.size());
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(plain.data()), &plain_size,
                             reinterpret_cast<const Bytef*>(packed.data()), uLong(packed.size())), Z_OK);
        EXPECT_EQ(plain.substr(0, plain_size), data);

        std::stringbuf source(packed);
        inflate_stream stream(&source);
        std::istream in(&stream);
        std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(back, data) << size;
    }
}

TEST(compressed_stream, second_finish_fails_and_writes_nothing)
{
    std::stringbuf sink;
    deflate_stream stream(&sink);
    ASSERT_TRUE(stream.finish());
    std::string after_first = sink.str();
    EXPECT_FALSE(stream.finish());
    EXPECT_EQ(sink.str(), after_first);
}

namespace {

// A sink that takes nothing, as a full disk would.
class refusing_sink : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
    int_type overflow(int_type) override { return traits_type::eof(); }
};

}  // namespace

TEST(compressed_stream, writes_after_a_failure_are_refused_without_touching_memory)
{
    struct failure_case {
        const char* name;
        bool finish_first;
    };
    const failure_case cases[] = {
        {"sink refuses the compressed bytes", false},
        {"stream already finished", true},
    };
    for (const failure_case& c : cases) {
        std::stringbuf good_sink;
        refusing_sink bad_sink;
        auto stream = std::make_unique<deflate_stream>(c.finish_first ? static_cast<std::streambuf*>(&good_sink)
                                                                       : static_cast<std::streambuf*>(&bad_sink));
        if (c.finish_first) {
            ASSERT_TRUE(stream->finish()) << c.name;
        }
        std::string before = good_sink.str();
        // Noise is incompressible enough that deflate must hand output to the sink early.
        std::mt19937 generator(3);
        int refused = 0;
        for (int i = 0; i < 3 * int(deflate_stream::BUFFER_SIZE); ++i)
            if (stream->sputc(char(generator())) == std::streambuf::traits_type::eof())
                ++refused;
        EXPECT_GT(refused, 0) << c.name;
        EXPECT_FALSE(stream->finish()) << c.name;
        EXPECT_EQ(good_sink.str(), before) << c.name;
    }
}

TEST(compressed_stream, corruption_and_truncation_look_like_the_end)
{
    std::string data = pseudo_random_bytes(50000);
    std::string packed = compress(data);
    std::string corrupt = packed;
    for (std::size_t i = 10; i < 40; ++i)
        corrupt[i] = char(~corrupt[i]);
    for (const std::string& bad : {corrupt, packed.substr(0, packed.size() / 2)}) {
        std::stringbuf source(bad);
        inflate_stream stream(&source);
        std::istream in(&stream);
        std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_LT(back.size(), data.size());
    }
}

TEST(compressed_stream, skipping_forward_counts_produced_bytes)
{
    std::string data = pseudo_random_bytes(10000);
    std::stringbuf source(compress(data));
    inflate_stream stream(&source);
    std::istream in(&stream);
    in.seekg(5000, std::ios_base::cur);
    ASSERT_TRUE(in);
    char next;
    in.get(next);
    EXPECT_EQ(next, data[5000]);
    in.seekg(100, std::ios_base::beg);  // backwards is impossible
    EXPECT_FALSE(in);
}

TEST(file_record, records_round_trip_and_bad_ones_are_broken)
{
    std::ostringstream out;
    file_record regular{0x81a4, 10, 20, 1700000000, 3, "etc/motd"};
    file_record device{0x21b6, 0, 0, 1, 4, "/dev/null"};
    write_file_record(out, regular);
    out << "hi\n";
    write_file_record(out, device);
    out.write("\x03\x01\x00\x00", 4);
    std::istringstream in(out.str());
    file_record read;
    ASSERT_EQ(read_file_record(in, read), record_status::ok);
    EXPECT_EQ(read.path, "/etc/motd");  // rooted at "/"
    EXPECT_EQ(read.uid, 10);
    EXPECT_EQ(read.gid, 20);
    EXPECT_EQ(read.mtime, 1700000000u);
    EXPECT_TRUE(skip_content(in, read));
    ASSERT_EQ(read_file_record(in, read), record_status::ok);
    std::uint32_t number = 0;
    EXPECT_TRUE(read_device_number(in, number));
    EXPECT_EQ(number, 0x103u);
    EXPECT_EQ(read_file_record(in, read), record_status::end);

    struct {
        std::uint16_t mode;
        std::uint32_t size;
    } broken[] = {{0x21b6, 8}, {0x61b6, 0}, {0xC1ff, 0}, {0x01ff, 0}};
    for (const auto& row : broken) {
        std::ostringstream bad;
        write_file_record(bad, file_record{row.mode, 0, 0, 0, row.size, "/x"});
        std::istringstream bad_in(bad.str());
        EXPECT_EQ(read_file_record(bad_in, read), record_status::broken) << std::hex << row.mode;
    }
    std::istringstream cut_name(out.str().substr(0, 33));
    EXPECT_EQ(read_file_record(cut_name, read), record_status::broken);
}
