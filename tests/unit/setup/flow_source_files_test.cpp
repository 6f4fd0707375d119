// Reading source files whole and handing bytes to installer in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "setup/flows/installer_feed.h"
#include "setup/flows/memory_file.h"

namespace {

std::string scratch_path(const char* name)
{
    return std::string(testing::TempDir()) + "flow_source_" + name;
}

}  // namespace

TEST(flow_source_files, read_whole_file_takes_exactly_the_file_or_fails)
{
    struct case_data {
        const char* name;
        size_t size;  // bytes written to the file; SIZE_MAX: no file; SIZE_MAX - 1: a directory
        bool read;
    };
    const case_data cases[] = {
        {"empty", 0, true},
        {"one_byte", 1, true},
        {"larger_than_one_read", 3 * 65536 + 7, true},
        {"missing", SIZE_MAX, false},
        {"directory", SIZE_MAX - 1, false},
    };
    for (const case_data& c : cases) {
        std::string path = scratch_path(c.name);
        std::vector<unsigned char> content;
        if (c.size == SIZE_MAX - 1) {
            mkdir(path.c_str(), 0700);
        } else if (c.size != SIZE_MAX) {
            for (size_t i = 0; i < c.size; ++i)
                content.push_back(static_cast<unsigned char>(i * 7 + i / 251));
            FILE* file = std::fopen(path.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            if (!content.empty())
                std::fwrite(content.data(), 1, content.size(), file);
            std::fclose(file);
        }
        memory_file read;
        EXPECT_EQ(read_whole_file(path.c_str(), read), c.read) << c.name;
        if (c.read) {
            ASSERT_EQ(read.length, content.size()) << c.name;
            EXPECT_EQ(read.position, 0u);
            EXPECT_TRUE(std::equal(content.begin(), content.end(), read.data.get())) << c.name;
        }
        rmdir(path.c_str());
        unlink(path.c_str());
    }
}

TEST(flow_source_files, feed_bytes_passes_every_byte_and_stops_at_a_closed_reader)
{
    for (size_t size : {size_t(0), size_t(1), FEED_PIECE_SIZE, FEED_PIECE_SIZE + 1, 5 * FEED_PIECE_SIZE + 3}) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        FILE* writer = fdopen(ends[1], "w");
        setvbuf(writer, nullptr, _IONBF, 0);
        std::vector<unsigned char> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<unsigned char>(i % 253);
        EXPECT_TRUE(feed_bytes(writer, bytes.data(), size)) << size;
        std::fclose(writer);
        std::vector<unsigned char> received(size + 1);
        size_t total = 0;
        ssize_t got;
        while ((got = read(ends[0], received.data() + total, received.size() - total)) > 0)
            total += size_t(got);
        close(ends[0]);
        received.resize(total);
        EXPECT_EQ(received, bytes) << size;
    }
    // installer gone: the feed reports the failed write instead of going on.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    FILE* writer = fdopen(ends[1], "w");
    setvbuf(writer, nullptr, _IONBF, 0);
    auto previous = signal(SIGPIPE, SIG_IGN);
    unsigned char byte = 1;
    EXPECT_FALSE(feed_bytes(writer, &byte, 1));
    signal(SIGPIPE, previous);
    std::fclose(writer);
}
