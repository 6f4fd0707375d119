#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/apply/install_progress.h"
#include "installer/apply/package_directories.h"
#include "installer/apply/path_safety.h"
#include "installer/package/canonical_path.h"

namespace {

TEST(path_safety, names_that_would_lead_elsewhere_are_refused)
{
    const std::pair<const char*, bool> names[] = {
        {"base", true}, {"libc-2.0_x", true}, {"0123456789abcdef", true}, {"", false}, {".", false},
        {"..", false}, {".hidden", false}, {"a/b", false}, {"/", false}, {"two words", false},
        {"tab\there", false}, {"line\nbreak", false},
    };
    for (const auto& [name, safe] : names)
        EXPECT_EQ(is_safe_package_name(name), safe) << name;
}

TEST(path_safety, record_paths_stay_inside_their_tree)
{
    const std::pair<std::string, bool> paths[] = {
        {"/etc/hosts", true}, {"/", true}, {"/etc/..hidden", true}, {"/etc/a..b", true}, {"/./etc", true},
        {"/..", false}, {"/etc/../../x", false}, {"/etc/..", false}, {"/../etc", false},
        {"/etc/a\n/etc/passwd", false}, {std::string("/etc/a\0b", 8), false},
    };
    for (const auto& [path, safe] : paths)
        EXPECT_EQ(is_safe_record_path(path), safe) << path;
}

TEST(canonical_path, every_spelling_of_a_path_becomes_one_text)
{
    const std::pair<const char*, const char*> paths[] = {
        {"/etc/x", "/etc/x"}, {"//etc//x", "/etc/x"}, {"/./etc/./x", "/etc/x"}, {"/etc/x/", "/etc/x"},
        {"/", "/"}, {"//", "/"}, {"/.", "/"}, {"", "/"}, {"/etc/.x", "/etc/.x"}, {"/etc/x.", "/etc/x."},
        {"/etc/../x", "/etc/../x"}, {"etc/x", "/etc/x"},
    };
    for (const auto& [path, canonical] : paths) {
        EXPECT_EQ(canonical_path(path), canonical) << path;
        EXPECT_EQ(is_canonical(path), std::string(path) == canonical) << path;
    }
}

TEST(canonical_path, within_means_below_or_equal_never_a_longer_name)
{
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"/var/pdb", "/var/pdb", true}, {"/var/pdb/base/files", "/var/pdb", true}, {"/var/pdbx", "/var/pdb", false},
        {"/var", "/var/pdb", false}, {"/x", "/", true},
    };
    for (const auto& [path, directory, within] : cases)
        EXPECT_EQ(is_within(path, directory), within) << path << " in " << directory;
}

TEST(install_progress, bar_fills_with_the_share_read_and_never_overflows)
{
    installed_package package;
    package.name = "hello";
    package.version = make_version(1, 0, 'f', 0);
    const std::string head = "installing hello-1.0 [";
    const std::size_t width = 76 - head.size();
    const struct {
        std::uint64_t read, total;
        std::size_t hashes;
    } cases[] = {
        {0, 100, 0}, {50, 100, width / 2}, {100, 100, width}, {500, 100, width}, {10, 0, 0},
    };
    for (const auto& c : cases) {
        std::string line = install_progress_text(package, c.read, c.total);
        EXPECT_EQ(line, head + std::string(c.hashes, '#') + std::string(width - c.hashes, ' ') + "]");
        EXPECT_EQ(line.size(), 77u);
    }
}

TEST(package_directories, parent_directory_of_absolute_paths)
{
    EXPECT_EQ(parent_directory("/a/b/c"), "/a/b");
    EXPECT_EQ(parent_directory("/a"), "/");
    EXPECT_EQ(parent_directory("/a//b"), "/a");
    EXPECT_EQ(parent_directory("/a/b/"), "/a");
}

TEST(package_directories, made_trees_are_pruned_back_to_what_was_there)
{
    char pattern[] = "/tmp/package_directories_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string top = pattern;
    const std::string keep = top + "/keep";
    ASSERT_EQ(mkdir(keep.c_str(), 0700), 0);
    ASSERT_TRUE(make_directories(top + "/area/a/b"));
    ASSERT_TRUE(make_directories(top + "/area/a/b"));  // existing directories are no failure
    ASSERT_TRUE(make_directories(top + "/area/c"));
    struct stat status;
    ASSERT_EQ(stat((top + "/area/a").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0770u & ~[] { mode_t mask = umask(0); umask(mask); return mask; }());

    prune_empty_directories(top + "/area");
    EXPECT_NE(stat((top + "/area").c_str(), &status), 0);
    // the walk upwards stops at the first directory that is not empty
    EXPECT_EQ(stat(top.c_str(), &status), 0);
    ASSERT_EQ(rmdir(keep.c_str()), 0);
    ASSERT_EQ(rmdir(top.c_str()), 0);
}

}  // namespace
