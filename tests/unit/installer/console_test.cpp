#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "captured_console.h"
#include "installer/state/console.h"

namespace {

const std::string BLANK_LINE = "\r" + std::string(79, ' ') + "\r";

installed_package package_named(const std::string& name, version_number version)
{
    installed_package package;
    package.name = name;
    package.version = version;
    return package;
}

}  // namespace

TEST(console, messages_carry_their_prefix_and_are_logged)
{
    captured_console out;
    show_error(out.context, "can not install %s", "a-1.0");
    show_warning(out.context, "ghost file %s", "/x");
    show_notice(out.context, "installed %s%s", "", "b-2.0");
    EXPECT_EQ(out.take(), "ERROR: can not install a-1.0\nWARNING: ghost file /x\ninstalled b-2.0\n");
    EXPECT_EQ(out.context.message_log,
              (std::vector<std::string>{"ERROR: can not install a-1.0", "WARNING: ghost file /x", "installed b-2.0"}));
}

TEST(console, quiet_prints_and_logs_nothing)
{
    captured_console out;
    out.context.quiet = true;
    set_progress_line(out.context, "installing a");
    show_error(out.context, "e");
    show_warning(out.context, "w");
    show_notice(out.context, "n");
    EXPECT_EQ(out.take(), "");
    EXPECT_TRUE(out.context.message_log.empty());
}

TEST(console, progress_line_redraws_only_on_change_and_blanks_leftovers)
{
    captured_console out;
    std::string long_text(40, 'x');
    set_progress_line(out.context, long_text);
    EXPECT_EQ(out.take(), "\x1b[?25l\r" + long_text + "\r\x1b[?25h");
    set_progress_line(out.context, long_text);
    EXPECT_EQ(out.take(), "");
    set_progress_line(out.context, std::string(10, 'y'));
    EXPECT_EQ(out.take(), "\x1b[?25l\r" + std::string(10, 'y') + std::string(30, ' ') + "\r\x1b[?25h");
}

TEST(console, warning_keeps_the_progress_line_below_it)
{
    captured_console out;
    set_progress_line(out.context, "installing a");
    out.take();
    show_warning(out.context, "link failed: %s", "/a");
    EXPECT_EQ(out.take(), BLANK_LINE + "WARNING: link failed: /a\ninstalling a");
    EXPECT_EQ(out.context.progress_line, "installing a");
}

TEST(console, error_and_notice_remove_the_progress_line)
{
    for (bool error : {true, false}) {
        captured_console out;
        set_progress_line(out.context, "installing a");
        out.take();
        if (error)
            show_error(out.context, "broken");
        else
            show_notice(out.context, "broken");
        std::string wipe = "\x1b[?25l\r" + std::string(12, ' ') + "\r\x1b[?25h";
        EXPECT_EQ(out.take(), wipe + (error ? "ERROR: broken\n" : "broken\n"));
        EXPECT_EQ(out.context.progress_line, "");
    }
}

TEST(console, body_is_cut_to_255_bytes)
{
    captured_console out;
    std::string body(300, 'b');
    show_warning(out.context, "%s", body.c_str());
    EXPECT_EQ(out.context.message_log.at(0), "WARNING: " + body.substr(0, 255));
}

TEST(console, clear_line_blanks_79_columns)
{
    captured_console out;
    clear_console_line(out.context);
    EXPECT_EQ(out.take(), BLANK_LINE);
}

TEST(console, create_failures_are_named_by_cause_and_by_bundle)
{
    struct case_row {
        int error;
        std::string bundle;
        version_number bundle_version;
        std::string expected;
    } rows[] = {
        {ENOSPC, "", 0, "ERROR: installation of web-2.9.3 failed: disk is too small"},
        {EIO, "", 0, "ERROR: installation of web-2.9.3 failed: disk error"},
        {EACCES, "", 0, "ERROR: installation of web-2.9.3 failed: could not create meta/files: Permission denied"},
        {ENOSPC, "suite", 0x03006305, "ERROR: installation of suite-3.0rc5 failed: disk is too small"},
        {ENOSPC, "suite", 0, "ERROR: installation of suite failed: disk is too small"},
    };
    for (const auto& row : rows) {
        captured_console out;
        installed_package package = package_named("web", 0x02096603);
        package.bundle.name = row.bundle;
        package.bundle.minimum = row.bundle_version;
        errno = row.error;
        report_create_failure(out.context, package, "meta/files");
        EXPECT_EQ(out.context.message_log.at(0), row.expected);
    }
    captured_console out;
    report_broken_package(out.context, package_named("web", 0x02096600));
    EXPECT_EQ(out.take(), "ERROR: installation of web-2.9 failed: broken package\n");
}
