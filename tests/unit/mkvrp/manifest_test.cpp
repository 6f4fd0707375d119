#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/mkvrp/manifest.h"

namespace {

constexpr std::uint32_t NOW = 1700000000;

// Parses a manifest and returns what it said on standard error.
bool parse(const std::string& text, manifest& result, std::string& complaint)
{
    testing::internal::CaptureStderr();
    bool ok = parse_manifest(text, "m", "/base", NOW, result);
    complaint = testing::internal::GetCapturedStderr();
    return ok;
}

}  // namespace

TEST(manifest, single_package_keys_fill_the_record)
{
    manifest result;
    std::string complaint;
    ASSERT_TRUE(parse("# comment\n"
                      "name system\n"
                      "version 3.0rc5\n"
                      "build-time 42\n"
                      "architecture i386\n"
                      "description first\n"
                      "description second\n"
                      "depends libc 2.0\n"
                      "depends zlib - 1.2.3\n"
                      "provides shell - - -7\n"
                      "conflicts old 1.0 2.0\n"
                      "install-script scripts/in\n"
                      "uninstall-script /abs/out\n"
                      "tree root\n"
                      "nodb yes\n",
                      result, complaint))
        << complaint;
    ASSERT_EQ(result.packages.size(), 1u);
    const package_manifest& p = result.packages[0];
    EXPECT_FALSE(result.is_bundle);
    EXPECT_TRUE(result.nodb);
    EXPECT_EQ(p.name, "system");
    EXPECT_EQ(p.version, 0x03006305u);
    EXPECT_EQ(p.build_time, 42u);
    EXPECT_EQ(p.architecture, "i386");
    EXPECT_EQ(p.description, "first\nsecond");
    EXPECT_EQ(p.dependencies, (std::vector<dependency_entry>{{"libc", 0x02006600, 0, 0}, {"zlib", 0, 0x01026603, 0}}));
    EXPECT_EQ(p.provides, (std::vector<dependency_entry>{{"shell", 0, 0, -7}}));
    EXPECT_EQ(p.conflicts, (std::vector<dependency_entry>{{"old", 0x01006600, 0x02006600, 0}}));
    EXPECT_EQ(p.install_script, "/base/scripts/in");
    EXPECT_EQ(p.uninstall_script, "/abs/out");
    EXPECT_EQ(p.tree, "/base/root");
}

TEST(manifest, bundle_members_take_the_bundle_build_time_unless_they_set_one)
{
    manifest result;
    std::string complaint;
    ASSERT_TRUE(parse("bundle base 3.0\nbuild-time 100\ndepends kernel 2.6\nbundle-names extra more\nnodb yes\n"
                      "package\nname core\nversion 3.0\n"
                      "package\nname extra\nversion 3.0beta\nbuild-time 200\n",
                      result, complaint))
        << complaint;
    EXPECT_TRUE(result.is_bundle);
    EXPECT_TRUE(result.nodb);
    EXPECT_EQ(result.bundle.name, "base");
    EXPECT_EQ(result.bundle.version, 0x03006600u);
    EXPECT_EQ(result.bundle.dependencies.size(), 1u);
    EXPECT_EQ(result.bundle_names, (std::vector<std::string>{"extra", "more"}));
    ASSERT_EQ(result.packages.size(), 2u);
    EXPECT_EQ(result.packages[0].build_time, 100u);
    EXPECT_EQ(result.packages[1].build_time, 200u);
}

TEST(manifest, missing_build_time_is_the_build_s_own)
{
    manifest result;
    std::string complaint;
    ASSERT_TRUE(parse("name a\nversion 1.0\n", result, complaint));
    EXPECT_EQ(result.packages[0].build_time, NOW);
}

TEST(manifest, faults_are_rejected_with_their_line)
{
    const struct {
        const char* text;
        const char* complaint;
    } cases[] = {
        {"", "m:0: the manifest is empty"},
        {"# only a comment\n", "the manifest is empty"},
        {"name a\nversion 1.0\ncolour blue\n", "m:3: unknown key \"colour\""},
        {"name a\nversion 3.0gamma\n", "m:2: bad version \"3.0gamma\""},
        {"name abcdefghijklmnopq\nversion 1.0\n", "m:1: package name \"abcdefghijklmnopq\" is longer than 16"},
        {"name a/b\nversion 1.0\n", "contains \"/\""},
        {"version 1.0\n", "m:1: package has no name"},
        {"name a\n", "m:1: package \"a\" has no version"},
        {"name a\nname b\nversion 1.0\n", "m:2: \"name\" given twice"},
        {"name a b\nversion 1.0\n", "\"name\" takes exactly one value"},
        {"name a\nversion 1.0\nbuild-time -5\n", "bad build time \"-5\""},
        {"name a\nversion 1.0\nbuild-time 4294967296\n", "bad build time"},
        {"name a\nversion 1.0\ndepends\n", "depends takes NAME [MIN] [MAX]"},
        {"name a\nversion 1.0\ndepends b 1.0 2.0 3\n", "depends takes NAME [MIN] [MAX]"},
        {"name a\nversion 1.0\nprovides b - - x\n", "bad extra number \"x\""},
        {"name a\nversion 1.0\nconflicts b 1.x\n", "bad minimum version \"1.x\""},
        {"name a\nversion 1.0\ndepends abcdefghijklmnopq\n", "longer than 16"},
        {"name a\nversion 1.0\nnodb maybe\n", "\"nodb\" takes yes or no"},
        {"name a\nversion 1.0\ntree\n", "\"tree\" needs a path"},
        {"name a\nversion 1.0\ntree x\ntree y\n", "\"tree\" given twice"},
        {"name a\nversion 1.0\npackage\n", "\"package\" sections belong to bundles"},
        {"name a\nversion 1.0\nbundle b 1.0\n", "\"bundle\" must be the first line"},
        {"bundle b\n", "\"bundle\" takes NAME VERSION"},
        {"bundle b 1.0\n", "bundle \"b\" has no package sections"},
        {"bundle b 1.0\nname c\npackage\nname d\nversion 1.0\n", "given on its \"bundle\" line"},
        {"bundle b 1.0\ntree t\npackage\nname d\nversion 1.0\n", "m:2: \"tree\" belongs to a package section"},
        {"bundle b 1.0\npackage\nname c\nversion 1.0\nbundle-names c\n", "\"bundle-names\" belongs to the bundle"},
        {"bundle b 1.0\npackage\nname c\nversion 1.0\nnodb yes\n", "\"nodb\" belongs to the bundle"},
        {"bundle b 1.0\npackage\nname c\nversion 1.0\npackage\nname c\nversion 2.0\n", "m:5: package \"c\" appears twice"},
        {"bundle b 1.0\npackage\nversion 1.0\n", "m:2: package section has no name"},
    };
    for (const auto& c : cases) {
        manifest result;
        std::string complaint;
        EXPECT_FALSE(parse(c.text, result, complaint)) << c.text;
        EXPECT_NE(complaint.find(c.complaint), std::string::npos) << c.text << "said: " << complaint;
        EXPECT_EQ(complaint.rfind("mkvrp: m:", 0), 0u) << complaint;
    }
}
