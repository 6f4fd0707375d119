#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <malloc.h>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "setup/support/tree_copy.h"
#include "setup/support/tree_record.h"
#include "setup/support/tree_restore.h"

namespace {

class scratch_directory {
public:
    scratch_directory()
    {
        char name[] = "/tmp/tree-copy-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~scratch_directory() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
}

// Reads without touching the access time, which the copy has to carry over.
std::string read_file(const std::string& path)
{
    std::string content;
    int fd = open(path.c_str(), O_RDONLY | O_NOATIME);
    if (fd < 0)
        return content;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<size_t>(got));
    close(fd);
    return content;
}

// Owner first: changing the owner clears the set-ID bits.
void describe(const std::string& path, uid_t owner, gid_t group, mode_t mode, time_t time)
{
    lchown(path.c_str(), owner, group);
    chmod(path.c_str(), mode);
    timespec times[2] = {{time - 1000, 0}, {time, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

struct observed {
    mode_t mode;
    uid_t owner;
    gid_t group;
    time_t access;
    time_t modification;
    std::string content;
    bool operator==(const observed&) const = default;
};

// Everything below `top` by path relative to it; links and other special files included, so that a copy
// that carries them over is noticed.
std::map<std::string, observed> survey(const std::string& top, const std::string& relative = "")
{
    std::map<std::string, observed> found;
    std::string path = top + relative;
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return found;
    found[relative.empty() ? "." : relative] = {status.st_mode, status.st_uid, status.st_gid, status.st_atime,
                                                 status.st_mtime, S_ISREG(status.st_mode) ? read_file(path) : ""};
    if (S_ISDIR(status.st_mode)) {
        DIR* listing = fdopendir(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOATIME));
        while (const dirent* item = readdir(listing)) {
            std::string name = item->d_name;
            if (name == "." || name == "..")
                continue;
            auto below = survey(top, relative + "/" + name);
            found.insert(below.begin(), below.end());
        }
        closedir(listing);
    }
    return found;
}

std::vector<std::string> listing_order(const std::string& directory)
{
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    while (const dirent* item = readdir(listing)) {
        if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0)
            names.push_back(item->d_name);
    }
    closedir(listing);
    return names;
}

uint64_t chain_bytes(tree_buffer buffer)
{
    uint64_t total = 0;
    for (tree_chunk* chunk = buffer; chunk != nullptr; chunk = chunk->next)
        total += chunk->size;
    return total;
}

}  // namespace

TEST(tree_copy, round_trip_keeps_contents_modes_owners_and_times)
{
    scratch_directory scratch;
    std::string top = scratch.path() + "/store";
    mkdir(top.c_str(), 0755);
    mkdir((top + "/etc").c_str(), 0755);
    mkdir((top + "/etc/empty-dir").c_str(), 0755);
    write_file(top + "/etc/config", "interface eth0\n  address 10.0.0.1\n");
    write_file(top + "/etc/empty", "");
    write_file(top + "/read-only", "keep me");
    write_file(top + "/setuid-tool", std::string(40000, '\x7f'));  // spans chunks
    symlink("etc/config", (top + "/link").c_str());
    mkfifo((top + "/fifo").c_str(), 0600);

    describe(top + "/etc/config", 1001, 1002, 0640, 1100000000);
    describe(top + "/etc/empty", 0, 7, 0600, 1200000000);
    describe(top + "/read-only", 5, 5, 0444, 1300000000);
    describe(top + "/setuid-tool", 1000, 1000, 04755, 1400000000);
    describe(top + "/etc/empty-dir", 33, 33, 0700, 1500000000);
    describe(top + "/etc", 0, 0, 02750, 1600000000);
    describe(top, 0, 0, 0751, 1700000000);

    auto before = survey(top);
    tree_buffer copy = read_tree(top.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->magic, TREE_CHUNK_MAGIC);
    std::system(("rm -rf '" + top + "'").c_str());
    ASSERT_TRUE(write_tree(copy));

    before.erase("/link");
    before.erase("/fifo");
    auto after = survey(top);
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [path, entry] : before)
        EXPECT_TRUE(after[path] == entry) << path << " mode " << std::oct << after[path].mode << std::dec
                                          << " owner " << after[path].owner << " time "
                                          << after[path].modification;
}

TEST(tree_copy, single_file_tree_restores_that_file)
{
    scratch_directory scratch;
    std::string file = scratch.path() + "/alone";
    write_file(file, "longer old text that must not survive");
    tree_buffer copy = nullptr;
    {
        write_file(file, "new");
        describe(file, 0, 0, 0640, 1234567890);
        copy = read_tree(file.c_str());
    }
    ASSERT_NE(copy, nullptr);
    write_file(file, "a longer text written after the copy was taken");
    ASSERT_TRUE(write_tree(copy));
    struct stat status;
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(read_file(file), "new");  // nothing of the longer text after it
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(status.st_mtime, 1234567890);
}

TEST(tree_copy, restore_over_existing_top_writes_nothing)
{
    scratch_directory scratch;
    std::string top = scratch.path() + "/store";
    mkdir(top.c_str(), 0755);
    write_file(top + "/file", "content");
    tree_buffer copy = read_tree(top.c_str());
    ASSERT_NE(copy, nullptr);
    unlink((top + "/file").c_str());
    EXPECT_FALSE(write_tree(copy));
    EXPECT_NE(access((top + "/file").c_str(), F_OK), 0);
}

TEST(tree_copy, unreadable_trees_give_no_copy)
{
    scratch_directory scratch;
    EXPECT_EQ(read_tree((scratch.path() + "/missing").c_str()), nullptr);
    // Its reported length (0) is not what reading gives.
    EXPECT_EQ(read_tree("/proc/self/status"), nullptr);
}

TEST(tree_copy, path_that_does_not_fit_starts_a_chunk_of_its_own)
{
    const uint32_t status_size = TREE_STATUS_SIZE;
    struct boundary_case {
        uint32_t free_after_first_file;  // room left in the first chunk before the second path
        bool second_path_in_own_chunk;
    };
    std::string second_name(100, 'p');
    const boundary_case cases[] = {{0, true}, {50, true}, {100, true}, {101, false}, {500, false}};
    for (const auto& c : cases) {
        scratch_directory scratch;
        std::string top = scratch.path() + "/d";
        mkdir(top.c_str(), 0755);
        write_file(top + "/f", "");
        write_file(top + "/" + second_name, "tail");
        std::vector<std::string> order = listing_order(top);
        std::string first_path = top + "/" + order[0];
        std::string second_path = top + "/" + order[1];
        uint32_t used = static_cast<uint32_t>(top.size() + 1 + status_size + first_path.size() + 1 + status_size);
        uint32_t second_length = static_cast<uint32_t>(second_path.size() + 1);
        uint32_t content = TREE_CHUNK_CAPACITY - used - c.free_after_first_file;
        bool own_chunk = c.free_after_first_file < second_length;
        write_file(first_path, std::string(content, 'c'));
        write_file(second_path, "tail");

        tree_buffer copy = read_tree(top.c_str());
        ASSERT_NE(copy, nullptr);
        uint64_t total = used + content + second_length + status_size + 4;
        EXPECT_EQ(chain_bytes(copy), total);
        EXPECT_EQ(copy->size, own_chunk ? used + content : std::min<uint64_t>(total, TREE_CHUNK_CAPACITY))
            << c.free_after_first_file;
        if (own_chunk) {
            tree_chunk* path_chunk = copy->next;
            EXPECT_EQ(path_chunk->size, second_length) << c.free_after_first_file;
            EXPECT_EQ(std::string(reinterpret_cast<char*>(path_chunk->data())), second_path);
            ASSERT_NE(path_chunk->next, nullptr);
            EXPECT_EQ(path_chunk->next->size, status_size + 4);
            EXPECT_EQ(path_chunk->next->next, nullptr);
        }
        // Chunks hold what they carry, not their full capacity.
        for (tree_chunk* chunk = copy; chunk != nullptr; chunk = chunk->next)
            EXPECT_LT(malloc_usable_size(chunk), sizeof(tree_chunk) + chunk->size + 64);

        std::system(("rm -rf '" + top + "'").c_str());
        ASSERT_TRUE(write_tree(copy));
        EXPECT_EQ(read_file(first_path).size(), content);
        EXPECT_EQ(read_file(second_path), "tail");
    }
}

TEST(tree_copy, damaged_buffers_are_refused)
{
    scratch_directory scratch;
    std::string top = scratch.path() + "/d";
    mkdir(top.c_str(), 0755);
    mkdir((top + "/sub").c_str(), 0755);
    write_file(top + "/sub/file", std::string(100, 'x'));

    // A buffer cut in the middle of the file's content restores what came before it.
    tree_buffer cut = read_tree(top.c_str());
    ASSERT_NE(cut, nullptr);
    tree_chunk* last = cut;
    while (last->next != nullptr)
        last = last->next;
    last->size -= 10;
    std::system(("rm -rf '" + top + "'").c_str());
    EXPECT_FALSE(write_tree(cut));
    struct stat status;
    EXPECT_EQ(stat((top + "/sub").c_str(), &status), 0);

    // A chain that is not ours is not touched at all.
    tree_chunk foreign{};
    foreign.magic = 0;
    EXPECT_FALSE(write_tree(&foreign));
    EXPECT_FALSE(write_tree(nullptr));
}
