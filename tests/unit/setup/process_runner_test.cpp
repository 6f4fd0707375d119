#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "setup/console_capture.h"
#include "setup/support/process_runner.h"

namespace {

// Points the log device at a fresh file (its path must fit the 16-byte buffer).
class log_file {
public:
    log_file()
    {
        std::strcpy(saved_, log_device);
        std::strcpy(path_, "/tmp/rlogXXXXXX");
        int fd = mkstemp(path_);
        if (fd >= 0)
            close(fd);
        std::strcpy(log_device, path_);
    }
    ~log_file()
    {
        std::strcpy(log_device, saved_);
        unlink(path_);
    }
    std::string text() const
    {
        std::ifstream in(path_);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    const char* path() const { return path_; }

private:
    char saved_[LOG_DEVICE_SIZE];
    char path_[LOG_DEVICE_SIZE];
};

std::string read_all(FILE* stream)
{
    std::string text;
    char buffer[256];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        text.append(buffer, got);
    return text;
}

bool exited_with(int status, int code)
{
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// What a shell child sees: its standard descriptors and any other descriptor left open.
const char* const DESCRIPTOR_REPORT =
    "for n in 0 1 2; do echo \"$n $(readlink /proc/$$/fd/$n)\"; done;"
    "for n in 3 4 5 6 7 8 9 10 11 12 13 14 15 20 40 200; do"
    "  [ -e /proc/$$/fd/$n ] && echo \"open $n\"; done; exit 0";

}  // namespace

TEST(process_runner, run_program_returns_the_wait_status_of_the_exact_command)
{
    log_file log;
    struct status_case {
        const char* name;
        int status;
        int expected_exit;
    };
    const status_case cases[] = {
        {"success", run_program(nullptr, "/bin/sh", "-c", "exit 0", nullptr), 0},
        {"exit code", run_program(nullptr, "/bin/sh", "-c", "exit 3", nullptr), 3},
        {"missing program", run_program(nullptr, "/nonexistent/program", nullptr), 127},
        {"failed root change", run_program("/nonexistent-root", "/bin/sh", "-c", "exit 0", nullptr), 127},
        {"root change", run_program("/", "/bin/sh", "-c", "exit 5", nullptr), 5},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(exited_with(c.status, c.expected_exit)) << c.name << " " << c.status;

    // Fourteen arguments fit; a fifteenth would change the command, so nothing runs.
    EXPECT_TRUE(exited_with(run_program(nullptr, "/bin/sh", "-c", "exit $#", "0", "1", "2", "3", "4", "5",
                                        "6", "7", "8", "9", "10", "11", nullptr),
                            11));
    EXPECT_EQ(run_program(nullptr, "/bin/sh", "-c", "exit 0", "0", "1", "2", "3", "4", "5", "6", "7", "8",
                          "9", "10", "11", "12", "13", nullptr),
              -1);

    run_program(nullptr, "/bin/sh", "-c", "echo \"[$0][$1][$2]\"", "first", "", "with blank", nullptr);
    EXPECT_EQ(log.text(), "[first][][with blank]\n");
}


TEST(process_runner, children_get_a_clean_descriptor_set)
{
    log_file log;
    int held_low = open("/dev/zero", O_RDONLY);
    int held_high = fcntl(held_low, F_DUPFD, 40);
    std::string dev_null = "0 /dev/null\n";
    std::string to_log = std::string("1 ") + log.path() + "\n2 " + log.path() + "\n";

    run_program(nullptr, "/bin/sh", "-c", DESCRIPTOR_REPORT, nullptr);
    EXPECT_EQ(log.text(), dev_null + to_log);

    FILE* output = pipe_from("/bin/sh", "-c", DESCRIPTOR_REPORT, nullptr);
    ASSERT_NE(output, nullptr);
    std::string report = read_all(output);
    EXPECT_TRUE(exited_with(close_pipe(output), 0));
    EXPECT_EQ(report.substr(0, dev_null.size()), dev_null);
    EXPECT_NE(report.find("1 pipe:"), std::string::npos) << report;
    EXPECT_EQ(report.substr(report.find("2 ")), std::string("2 ") + log.path() + "\n");
    close(held_low);
    close(held_high);
}

TEST(process_runner, pipe_from_reads_output_and_status)
{
    log_file log;
    FILE* output = pipe_from("/bin/sh", "-c", "echo line one; echo line two; echo oops >&2; exit 4", nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_NE(pipe_child, -1);
    EXPECT_EQ(read_all(output), "line one\nline two\n");
    EXPECT_TRUE(exited_with(close_pipe(output), 4));
    EXPECT_EQ(pipe_child, -1);
    EXPECT_EQ(log.text(), "oops\n");
    EXPECT_EQ(close_pipe(output), -1);  // nothing is open any more

    FILE* missing = pipe_from("/nonexistent/program", nullptr);
    ASSERT_NE(missing, nullptr);
    EXPECT_TRUE(exited_with(close_pipe(missing), 127));
}

TEST(process_runner, pipe_to_feeds_input_and_routes_output)
{
    log_file log;
    char received[] = "/tmp/rpipeXXXXXX";
    close(mkstemp(received));
    std::string command = std::string("cat > ") + received + "; echo \"to console $0\"; echo err >&2";

    struct route_case {
        bool quiet;
        std::string console;
        std::string log;
    };
    const route_case cases[] = {
        {false, "to console x\nerr\n", ""},
        {true, "", "to console x\nerr\n"},
    };
    for (const auto& c : cases) {
        captured_output console;
        captured_output errors(STDERR_FILENO);
        FILE* input = c.quiet ? pipe_to("/bin/sh", "-c", command.c_str(), ">null", "x", nullptr)
                              : pipe_to("/bin/sh", "-c", command.c_str(), "x", nullptr);
        int status = -1;
        if (input != nullptr) {
            std::fputs("package bytes\n", input);
            status = close_pipe(input);
        }
        std::string shown = console.finish();
        shown += errors.finish();
        ASSERT_NE(input, nullptr);
        EXPECT_TRUE(exited_with(status, 0));
        std::ifstream in(received);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line, "package bytes");
        EXPECT_EQ(shown, c.console) << c.quiet;
        EXPECT_EQ(log.text(), c.log) << c.quiet;
    }
    unlink(received);
}

TEST(process_runner, only_one_piped_child_at_a_time)
{
    log_file log;
    char marker[] = "/tmp/rmarkXXXXXX";
    close(mkstemp(marker));
    unlink(marker);
    std::string touch = std::string("touch ") + marker;

    FILE* first = pipe_to("/bin/sh", "-c", "cat > /dev/null", nullptr);
    ASSERT_NE(first, nullptr);
    pid_t child = pipe_child;
    EXPECT_EQ(pipe_from("/bin/sh", "-c", touch.c_str(), nullptr), nullptr);
    EXPECT_EQ(pipe_to("/bin/sh", "-c", touch.c_str(), nullptr), nullptr);
    EXPECT_EQ(pipe_child, child);
    EXPECT_TRUE(exited_with(close_pipe(first), 0));
    EXPECT_NE(access(marker, F_OK), 0);

    FILE* second = pipe_from("/bin/sh", "-c", "exit 0", nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(exited_with(close_pipe(second), 0));
}

namespace {

void reap_any(int)
{
    int saved = errno;
    int status;
    while (waitpid(-1, &status, WNOHANG) > 0) {
    }
    errno = saved;
}

}  // namespace

TEST(process_runner, a_reaping_signal_handler_cannot_steal_the_status)
{
    log_file log;
    struct sigaction reaper {}, previous{};
    reaper.sa_handler = reap_any;
    reaper.sa_flags = SA_RESTART;
    sigemptyset(&reaper.sa_mask);
    sigaction(SIGCHLD, &reaper, &previous);
    int failures = 0;
    for (int i = 0; i < 50; ++i) {
        if (!exited_with(run_program(nullptr, "/bin/sh", "-c", "exit 0", nullptr), 0))
            ++failures;
        FILE* output = pipe_from("/bin/sh", "-c", "exit 2", nullptr);
        usleep(1000);  // the child is gone before we wait for it
        if (output == nullptr || !exited_with(close_pipe(output), 2))
            ++failures;
    }
    sigaction(SIGCHLD, &previous, nullptr);
    EXPECT_EQ(failures, 0);
}

TEST(process_runner, children_do_not_inherit_our_ignored_signals)
{
    log_file log;
    struct sigaction ignore {}, old_pipe{}, old_alarm{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old_pipe);
    sigaction(SIGALRM, &ignore, &old_alarm);
    run_program(nullptr, "/bin/sh", "-c", "sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status", nullptr);
    sigaction(SIGPIPE, &old_pipe, nullptr);
    sigaction(SIGALRM, &old_alarm, nullptr);
    unsigned long ignored = std::strtoul(log.text().c_str(), nullptr, 16);
    const unsigned long pipe_and_alarm = (1ul << (SIGPIPE - 1)) | (1ul << (SIGALRM - 1));
    EXPECT_FALSE(log.text().empty());
    EXPECT_EQ(ignored & pipe_and_alarm, 0ul) << log.text();
}
