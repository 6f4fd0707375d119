#include <map>
#include <string>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "database_root.h"
#include "installer/apply/package_operations.h"
#include "installer/database/package_database.h"
#include "installer/database/record_saving.h"
#include "relations_fixtures.h"

namespace {

std::string entries_text(const std::vector<dependency_entry>& entries)
{
    std::string text;
    for (const dependency_entry& entry : entries)
        text += " " + entry.name + ":" + std::to_string(entry.minimum) + ":" + std::to_string(entry.maximum) + ":" +
                std::to_string(entry.extra);
    return text;
}

// One line that shows every loaded field.
std::string describe(const installed_package& record)
{
    std::string text = record.name + " " + std::to_string(record.version) + "/" + std::to_string(record.build_time);
    text += " action " + std::to_string(record.action);
    if (record.is_bundle)
        text += " bundle-record";
    if (record.disabled)
        text += " disabled";
    if (!record.bundle.name.empty())
        text += " from " + record.bundle.name;
    if (!record.dependencies.empty())
        text += " deps" + entries_text(record.dependencies);
    if (!record.provides.empty())
        text += " provides" + entries_text(record.provides);
    if (!record.conflicts.empty())
        text += " conflicts" + entries_text(record.conflicts);
    if (!record.files.empty()) {
        text += " files";
        for (std::string_view path : record.files)
            text += " " + std::string(path);
    }
    return text;
}

struct load_row {
    const char* what;
    std::map<std::string, std::string> files;
    std::string expected;
};

TEST(database_records, load_reads_every_file_and_marks_damage_for_uninstall)
{
    const load_row rows[] = {
        {"version and empty files", {{"version", "16777216 5\n"}, {"files", ""}}, "p 16777216/5 action 0"},
        {"no files: a bundle record", {{"version", "16777216 5\n"}}, "p 16777216/5 action 0 bundle-record"},
        {"missing version", {{"files", ""}}, "p 0/0 action 1"},
        {"version without build time", {{"version", "16777216\n"}, {"files", ""}}, "p 16777216/0 action 1"},
        {"version out of range", {{"version", "4294967296 1\n"}, {"files", ""}}, "p 4294967295/0 action 1"},
        {"complete dependency then a bare name",
         {{"version", "1 2\n"}, {"deps", "libc 0 0\nzlib\n"}, {"files", ""}},
         "p 1/2 action 1 deps libc:0:0:0"},
        {"lists of all three kinds",
         {{"version", "1 2\n"},
          {"deps", "libc 5 0\nzlib 0 9\n"},
          {"provides", "mta 1 2 -3\n"},
          {"conflicts", "exim 0 7\n"},
          {"files", ""}},
         "p 1/2 action 0 deps libc:5:0:0 zlib:0:9:0 provides mta:1:2:-3 conflicts exim:0:7:0"},
        {"provides without its extra number", {{"version", "1 2\n"}, {"provides", "mta 1 2\n"}, {"files", ""}},
         "p 1/2 action 1"},
        {"malformed conflicts", {{"version", "1 2\n"}, {"conflicts", "exim x 7\n"}, {"files", ""}}, "p 1/2 action 1"},
        {"file lines with and without slash, blank lines",
         {{"version", "1 2\n"}, {"files", "usr/bin/a\n\n/etc/b\nusr/bin/a\n"}},
         "p 1/2 action 0 files /etc/b /usr/bin/a"},
        {"lines longer than a read, unsorted, the last without its end, old spellings",
         {{"version", "1 2\n"}, {"files", "z/" + std::string(70000, 'y') + "\nusr//bin/./a\n" + std::string(40000, 'x')}},
         "p 1/2 action 0 files /usr/bin/a /" + std::string(40000, 'x') + " /z/" + std::string(70000, 'y')},
        {"bundle membership and disabled state",
         {{"version", "1 2\n"}, {"bundle", "netset\n"}, {"disabled", ""}, {"files", "x\n"}},
         "p 1/2 action 0 disabled from netset files /x"},
        {"schedule enable", {{"version", "1 2\n"}, {"files", ""}, {"schedule", "enable\n"}}, "p 1/2 action 2"},
        {"schedule disable overrides damage", {{"deps", "a\n"}, {"files", ""}, {"schedule", "disable"}},
         "p 0/0 action 3"},
        {"unknown schedule word keeps the damage", {{"files", ""}, {"schedule", "Enable\n"}}, "p 0/0 action 1"},
        {"empty schedule", {{"version", "1 2\n"}, {"files", ""}, {"schedule", ""}}, "p 1/2 action 0"},
        {"temporaries of a cut write", {{"version", "1 2\n"}, {"files", "a\n"}, {".files", "a\nb"}, {".version", "9"}},
         "p 1/2 action 0 files /a"},
    };
    for (const load_row& row : rows) {
        database_root root;
        root.write_record("p", row.files);
        std::string loaded = root.run([] {
            installed_package record;
            load_record(record, "p");
            return describe(record);
        });
        EXPECT_EQ(loaded, row.expected) << row.what;
        for (const char* gone : {".files", ".version"})
            EXPECT_FALSE(std::filesystem::exists(root.record("p") / gone)) << row.what;
        // A request stays until it has been carried out or refused.
        EXPECT_EQ(std::filesystem::exists(root.record("p") / "schedule"), row.files.count("schedule") != 0) << row.what;
    }
}

// The names and contents of every file in a record directory.
std::map<std::string, std::string> record_files(const database_root& root, const std::string& name)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(root.record(name)))
        files[entry.path().filename()] = read_text(entry.path());
    return files;
}

std::unique_ptr<installed_package> full_record()
{
    std::unique_ptr<installed_package> record =
        installed("web", ver(1, 2), 99).needs("libc", ver(1, 0)).needs("zlib").offers("httpd", -1, ver(1, 0), ver(2, 0)).excludes("boa", 0, ver(0, 9)).disabled();
    record->bundle = {"netset", ver(3, 0), ver(3, 0), 0};
    record->files = {"/usr/sbin/web", "/etc/web.conf", "", "relative"};
    return record;
}

TEST(database_records, save_writes_the_table_and_reloads_the_same)
{
    database_root root;
    std::string output = root.run([] {
        ::umask(0);
        silent_context out;
        std::unique_ptr<installed_package> record = full_record();
        if (!ensure_record_directory(out.context, *record) || !save_record(out.context, *record))
            return std::string("save failed");
        installed_package loaded;
        load_record(loaded, "web");
        return describe(loaded);
    });
    const std::string v1_0 = std::to_string(ver(1, 0)), v1_2 = std::to_string(ver(1, 2)),
                      v2_0 = std::to_string(ver(2, 0)), v0_9 = std::to_string(ver(0, 9));
    // The empty path is not written; "relative" is written as it is and comes back absolute.
    EXPECT_EQ(output, "web " + v1_2 + "/99 action 0 disabled from netset deps libc:" + v1_0 + ":0:0 zlib:0:0:0 " +
                          "provides httpd:" + v1_0 + ":" + v2_0 + ":-1 conflicts boa:0:" + v0_9 +
                          ":0 files /etc/web.conf /relative /usr/sbin/web");
    EXPECT_EQ(record_files(root, "web"), (std::map<std::string, std::string>{
                                             {"version", v1_2 + " 99\n"},
                                             {"deps", "libc " + v1_0 + " 0\nzlib 0 0\n"},
                                             {"provides", "httpd " + v1_0 + " " + v2_0 + " -1\n"},
                                             {"conflicts", "boa 0 " + v0_9 + "\n"},
                                             {"bundle", "netset\n"},
                                             {"disabled", ""},
                                             {"files", "etc/web.conf\nusr/sbin/web\nrelative\n"},
                                         }));
    struct stat status;
    ASSERT_EQ(::stat(root.record("web").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0770u);
    ASSERT_EQ(::stat((root.record("web") / "files").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0666u);
}

TEST(database_records, saving_an_emptied_record_removes_what_no_longer_applies)
{
    database_root root;
    std::string output = root.run([] {
        silent_context out;
        std::unique_ptr<installed_package> record = full_record();
        ensure_record_directory(out.context, *record);
        save_record(out.context, *record);
        record->provides.clear();
        record->conflicts.clear();
        record->dependencies.clear();
        record->bundle = {};
        record->disabled = false;
        record->files.clear();
        return std::string(save_record(out.context, *record) ? "saved" : "failed");
    });
    EXPECT_EQ(output, "saved");
    EXPECT_EQ(record_files(root, "web"),
              (std::map<std::string, std::string>{{"version", std::to_string(ver(1, 2)) + " 99\n"}, {"deps", ""}, {"files", ""}}));
}

TEST(database_records, a_bundle_record_gets_no_file_list)
{
    database_root root;
    std::string output = root.run([] {
        silent_context out;
        std::unique_ptr<installed_package> record = installed("netset", ver(3, 0));
        record->is_bundle = true;
        ensure_record_directory(out.context, *record);
        return std::string(save_record(out.context, *record) ? "saved" : "failed");
    });
    EXPECT_EQ(output, "saved");
    EXPECT_EQ(record_files(root, "netset"),
              (std::map<std::string, std::string>{{"version", std::to_string(ver(3, 0)) + " 0\n"}, {"deps", ""}}));
}

TEST(database_records, a_rewrite_cut_short_keeps_the_old_file_whole)
{
    // A write that stops half-way stands for the power cut: the old list must survive it.
    database_root root;
    root.write_record("web", {{"version", "1 1\n"}, {"files", "usr/old\n"}});
    std::string output = root.run([] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        silent_context out;
        std::unique_ptr<installed_package> record = installed("web", ver(1, 2), 99);
        for (int i = 0; i < 20; ++i)
            record->files.insert("/usr/share/web/page" + std::to_string(i));
        bool saved = save_record(out.context, *record);
        return std::string(saved ? "saved|" : "failed|") + out.context.message_log.back();
    });
    EXPECT_EQ(output, "failed|ERROR: installation of web-1.2 failed: could not create meta/files: File too large");
    // The version is written last, so the record still reads as the old one.
    EXPECT_EQ(record_files(root, "web"),
              (std::map<std::string, std::string>{{"version", "1 1\n"}, {"files", "usr/old\n"}}));
}

TEST(database_records, a_failed_write_names_the_file_and_leaves_no_temporary)
{
    database_root root;
    root.write_record("web", {{"version", "1 1\n"}});
    std::filesystem::create_directories(root.record("web") / "provides" / "inside");
    std::string output = root.run([] {
        silent_context out;
        std::unique_ptr<installed_package> record = installed("web", ver(1, 2), 99).offers("httpd");
        bool saved = save_record(out.context, *record);
        return std::string(saved ? "saved|" : "failed|") + out.context.message_log.back();
    });
    EXPECT_EQ(output, "failed|ERROR: installation of web-1.2 failed: could not create meta/provides: Is a directory");
    std::filesystem::remove_all(root.record("web") / "provides");
    EXPECT_EQ(record_files(root, "web"),
              (std::map<std::string, std::string>{{"version", "1 1\n"}, {"deps", ""}, {"files", ""}}));
}

TEST(database_records, enabling_and_disabling_report_a_file_list_that_cannot_be_saved)
{
    for (bool enable : {false, true}) {
        database_root root;
        root.write_record("web", {{"version", "1 1\n"}});
        std::filesystem::create_directories(root.record("web") / "files" / "inside");
        std::string output = root.run([enable] {
            silent_context out;
            std::unique_ptr<installed_package> record = installed("web", ver(1, 2), 99);
            record->disabled = enable;
            if (enable)
                enable_package(out.context, *record);
            else
                disable_package(out.context, *record);
            return out.context.message_log.empty() ? std::string("nothing reported") : out.context.message_log.back();
        });
        EXPECT_EQ(output, "ERROR: installation of web-1.2 failed: could not create meta/files: Is a directory")
            << (enable ? "enable" : "disable");
    }
}

}  // namespace
