#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include "common/file_descriptor.h"

namespace {

std::atomic<int> signals_seen{0};

void count_signal(int)
{
    ++signals_seen;
}

// Writes the pieces into a pipe one at a time, so that the reader sees them as separate short
// reads; optionally interrupts the reader with a signal first.
void feed_pipe(int fd, const std::vector<std::string>& pieces, bool interrupt, pthread_t reader, bool close_after)
{
    using namespace std::chrono_literals;
    if (interrupt) {
        std::this_thread::sleep_for(30ms);
        pthread_kill(reader, SIGUSR1);
    }
    for (const std::string& piece : pieces) {
        std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(write_fully(fd, piece.data(), piece.size()));
    }
    if (close_after)
        close(fd);
}

}  // namespace

TEST(read_fully, joins_short_and_interrupted_reads_and_stops_at_end_of_file)
{
    // Without SA_RESTART a blocked read returns EINTR instead of being restarted by the kernel.
    struct sigaction action = {}, previous = {};
    action.sa_handler = count_signal;
    sigaction(SIGUSR1, &action, &previous);
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        bool interrupt;
        bool end_of_file;
        std::size_t wanted;
        ssize_t expected;
        std::string rest;  // what a later read still finds
    } cases[] = {
        {"pieces joined", {"ab", "cd", "ef"}, false, false, 6, 6, ""},
        {"interrupted before any byte", {"xyz"}, true, false, 3, 3, ""},
        {"interrupted, then short pieces", {"x", "yz", "w"}, true, true, 4, 4, ""},
        {"file ends first", {"abc"}, false, true, 8, 3, ""},
        {"empty file", {}, false, true, 4, 0, ""},
        {"never more than asked", {"abcdef"}, false, true, 4, 4, "ef"},
        {"nothing asked", {"a"}, false, true, 0, 0, "a"},
    };
    for (const auto& c : cases) {
        int channel[2];
        ASSERT_EQ(pipe(channel), 0);
        signals_seen = 0;
        std::thread writer(feed_pipe, channel[1], c.pieces, c.interrupt, pthread_self(), c.end_of_file);
        char buffer[16] = {};
        ssize_t got = read_fully(channel[0], buffer, c.wanted);
        writer.join();
        if (!c.end_of_file)
            close(channel[1]);
        std::string joined;
        for (const std::string& piece : c.pieces)
            joined += piece;
        EXPECT_EQ(got, c.expected) << c.name;
        if (got > 0) {
            EXPECT_EQ(std::string(buffer, std::size_t(got)), joined.substr(0, std::size_t(got))) << c.name;
        }
        EXPECT_EQ(signals_seen, c.interrupt ? 1 : 0) << c.name;
        char rest[16];
        EXPECT_EQ(read_fully(channel[0], rest, sizeof rest), ssize_t(c.rest.size())) << c.name;
        EXPECT_EQ(std::string(rest, c.rest.size()), c.rest) << c.name;
        close(channel[0]);
    }
    sigaction(SIGUSR1, &previous, nullptr);

    char byte;
    errno = 0;
    EXPECT_EQ(read_fully(-1, &byte, 1), -1);
    EXPECT_EQ(errno, EBADF);
}
