#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "installer/database/file_owner_index.h"
#include "installer/database/files_in_use.h"
#include "relations_fixtures.h"

namespace {

TEST(files_in_use, open_and_mapped_files_count_pipes_sockets_links_and_proc_do_not)
{
    std::filesystem::path directory = std::filesystem::temp_directory_path() / ("in_use_" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    std::ofstream(directory / "open") << "x";
    std::ofstream(directory / "mapped") << "mapped";
    std::filesystem::create_symlink(directory / "open", directory / "link");

    int open_fd = ::open((directory / "link").c_str(), O_RDONLY);
    int map_fd = ::open((directory / "mapped").c_str(), O_RDONLY);
    void* mapping = ::mmap(nullptr, 6, PROT_READ, MAP_PRIVATE, map_fd, 0);
    ::close(map_fd);  // the mapping alone must be enough
    void* anonymous = ::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    int socket_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    int proc_fd = ::open("/proc/self/status", O_RDONLY);
    ASSERT_TRUE(open_fd >= 0 && mapping != MAP_FAILED && anonymous != MAP_FAILED && socket_fd >= 0 && proc_fd >= 0);

    silent_context out;
    scan_files_in_use(out.context);

    EXPECT_TRUE(is_in_use(out.context, (directory / "open").string()));
    EXPECT_TRUE(is_in_use(out.context, (directory / "mapped").string()));
    EXPECT_FALSE(is_in_use(out.context, (directory / "link").string()));
    for (const std::string& path : out.context.files_in_use) {
        EXPECT_EQ(path[0], '/') << path;
        EXPECT_NE(path.compare(0, 5, "/proc"), 0) << path;
    }
    EXPECT_TRUE(out.context.message_log.empty());

    ::close(open_fd);
    ::munmap(mapping, 6);
    ::munmap(anonymous, 4096);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    ::close(socket_fd);
    ::close(proc_fd);
    std::filesystem::remove_all(directory);
}

TEST(files_in_use, owner_is_the_first_record_holding_the_exact_path)
{
    silent_context out;
    out.context.installed.push_back(installed("a", ver(1, 0)));
    out.context.installed.push_back(installed("b", ver(1, 0)));
    out.context.installed[0]->files = {"/etc/shared", "/etc/a"};
    out.context.installed[1]->files = {"/etc/shared", "/etc/b"};
    struct row {
        const char* path;
        const char* owner;
    };
    const row rows[] = {{"/etc/shared", "a"}, {"/etc/b", "b"}, {"/etc/b/", ""}, {"etc/a", ""}, {"/etc", ""}};
    file_owner_index index(out.context);
    for (const row& r : rows) {
        EXPECT_EQ(owner_of(out.context, r.path), r.owner) << r.path;
        EXPECT_EQ(index.owner_of(r.path), r.owner) << r.path << " (index)";
    }
}

}  // namespace
