#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "common/file_record.h"
#include "common/inflate_stream.h"
#include "common/part_reader.h"
#include "installer/package/repository_package.h"
#include "tools/mkvrp/manifest.h"
#include "tools/mkvrp/package_writer.h"

namespace {

namespace fs = std::filesystem;

struct read_back_record {
    file_record record;
    std::string content;  // file bytes, link target, or the 4 device bytes
};

class package_writer_test : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/mkvrp_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    void write_file(const std::string& relative, const std::string& content)
    {
        fs::create_directories(fs::path(folder + "/" + relative).parent_path());
        std::ofstream(folder + "/" + relative, std::ios::binary) << content;
    }

    bool build(const std::string& manifest_text, const std::string& output, const build_options& options = {})
    {
        manifest description;
        if (!parse_manifest(manifest_text, "manifest", folder, 1700000000, description))
            return false;
        testing::internal::CaptureStderr();
        bool ok = write_package(description, output, options);
        complaint = testing::internal::GetCapturedStderr();
        return ok;
    }

    // The file records of the PART_FILES part the reader stands on, with their content.
    static std::vector<read_back_record> read_records(part_reader& reader)
    {
        std::vector<read_back_record> records;
        inflate_stream inflater(reader.rdbuf());
        std::istream in(&inflater);
        for (;;) {
            read_back_record entry;
            record_status status = read_file_record(in, entry.record);
            if (status == record_status::end)
                break;
            EXPECT_EQ(status, record_status::ok);
            if (status != record_status::ok)
                break;
            entry.content.assign(entry.record.content_size, '\0');
            if (entry.record.content_size) {
                EXPECT_TRUE(in.read(entry.content.data(), entry.record.content_size));
            }
            records.push_back(std::move(entry));
        }
        EXPECT_TRUE(inflater.finished() && !inflater.corrupt());
        return records;
    }

    std::string folder;
    std::string complaint;
};

}  // namespace

TEST_F(package_writer_test, parts_come_in_the_order_readers_take_them)
{
    write_file("in.sh", "echo in\n");
    write_file("out.sh", "echo out\n");
    write_file("tree/a", "a");
    std::string output = folder + "/out.vrp";
    ASSERT_TRUE(build("name pkg\nversion 1.0\ndescription text\narchitecture i486\ndepends a\nprovides b - - 3\n"
                      "conflicts c\ninstall-script in.sh\nuninstall-script out.sh\ntree tree\nnodb yes\n",
                      output))
        << complaint;
    std::ifstream file(output, std::ios::binary);
    part_reader reader(file);
    EXPECT_TRUE(reader.is_nodb());
    for (std::int32_t type = 0; type < 32; ++type)
        reader.accept(type);
    std::vector<std::int32_t> types;
    std::map<std::int32_t, std::string> payloads;
    for (std::int32_t type = reader.next_part(); type >= 0; type = reader.next_part()) {
        types.push_back(type);
        std::string payload(reader.current_part_size(), '\0');
        reader.read(payload.data(), std::streamsize(payload.size()));
        payloads[type] = payload;
    }
    EXPECT_EQ(types, (std::vector<std::int32_t>{PART_PACKAGE, PART_DESCRIPTION, PART_ARCHITECTURE, PART_DEPENDENCIES,
                                               PART_PROVIDES, PART_CONFLICTS, PART_INSTALL_SCRIPT,
                                               PART_UNINSTALL_SCRIPT, PART_FILES}));
    EXPECT_EQ(payloads[PART_PACKAGE], std::string("pkg\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x66\x00\x01\x00\xf1\x53\x65"
                                                  "\0\0\0\0\0\0\0\0",
                                                  32));
    EXPECT_EQ(payloads[PART_DESCRIPTION], "text");
    EXPECT_EQ(payloads[PART_ARCHITECTURE], "i486");
    EXPECT_EQ(payloads[PART_PROVIDES], std::string("\x01\x00" "b\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
                                                   "\0\0\0\0" "\0\0\0\0" "\0\0\0\0" "\x03\0\0\0",
                                                   34));
    EXPECT_EQ(payloads[PART_INSTALL_SCRIPT], "echo in\n");
    EXPECT_EQ(payloads[PART_UNINSTALL_SCRIPT], "echo out\n");

    // The repository scan reads the same file as a whole.
    repository_package summary;
    ASSERT_TRUE(read_file_summary(output, summary));
    EXPECT_EQ(summary.label(), "pkg-1.0");
    EXPECT_EQ(summary.architecture, "i486");
    EXPECT_TRUE(summary.is_nodb);
}

TEST_F(package_writer_test, bundle_is_read_back_by_the_repository_scan)
{
    write_file("a/file", "a");
    write_file("b/file", "b");
    std::string output = folder + "/bundle.vrp";
    ASSERT_TRUE(build("bundle base 3.0\nbuild-time 5\ndepends kernel 2.6\nbundle-names beta\n"
                      "package\nname alpha\nversion 1.0\ntree a\ndepends libc\n"
                      "package\nname beta\nversion 2.0rc1\ntree b\n",
                      output))
        << complaint;
    repository_package summary;
    ASSERT_TRUE(read_file_summary(output, summary));
    EXPECT_TRUE(summary.is_bundle);
    EXPECT_EQ(summary.label(), "base-3.0");
    EXPECT_EQ(summary.build_time, 5u);
    EXPECT_EQ(summary.dependencies, (std::vector<dependency_entry>{{"kernel", 0x02066600, 0, 0}}));
    ASSERT_EQ(summary.contained_packages.size(), 2u);
    EXPECT_EQ(summary.contained_packages[0]->label(), "alpha-1.0");
    EXPECT_EQ(summary.contained_packages[0]->dependencies.size(), 1u);
    EXPECT_EQ(summary.contained_packages[1]->label(), "beta-2.0rc1");
    EXPECT_EQ(summary.contained_packages[1]->build_time, 5u);
}

TEST_F(package_writer_test, a_failed_build_leaves_no_output)
{
    write_file("tree/a", "a");
    std::string output = folder + "/out.vrp";
    const struct {
        const char* manifest_text;
        const char* complaint;
    } cases[] = {
        {"name a\nversion 1.0\ntree missing\n", "cannot read tree"},
        {"name a\nversion 1.0\ntree tree/a\n", "is not a folder"},
        {"name a\nversion 1.0\ninstall-script missing.sh\n", "cannot read script"},
        {"bundle b 1.0\npackage\nname a\nversion 1.0\ntree tree\npackage\nname c\nversion 1.0\ntree gone\n",
         "cannot read tree"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(build(c.manifest_text, output)) << c.manifest_text;
        EXPECT_NE(complaint.find(c.complaint), std::string::npos) << complaint;
        EXPECT_FALSE(fs::exists(output)) << c.manifest_text;
    }
}

TEST_F(package_writer_test, output_inside_the_tree_is_not_packed_into_itself)
{
    write_file("tree/a", "a");
    std::string output = folder + "/tree/self.vrp";
    ASSERT_TRUE(build("name a\nversion 1.0\ntree tree\n", output)) << complaint;
    std::ifstream file(output, std::ios::binary);
    part_reader reader(file);
    reader.accept(PART_FILES);
    ASSERT_EQ(reader.next_part(), PART_FILES);
    auto records = read_records(reader);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].record.path, "/a");
}

TEST_F(package_writer_test, owners_beyond_16_bits_need_an_override)
{
    write_file("tree/a", "a");
    if (chown((folder + "/tree/a").c_str(), 70000, 70000) != 0)
        GTEST_SKIP() << "cannot give files foreign owners here";
    std::string output = folder + "/out.vrp";
    EXPECT_FALSE(build("name a\nversion 1.0\ntree tree\n", output));
    EXPECT_NE(complaint.find("use --owner"), std::string::npos) << complaint;
    build_options options;
    options.override_owner = true;
    EXPECT_TRUE(build("name a\nversion 1.0\ntree tree\n", output, options)) << complaint;
}
