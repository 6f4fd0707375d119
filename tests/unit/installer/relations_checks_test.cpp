#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installer/planning/install_check.h"
#include "relations_fixtures.h"

namespace {

using installed_list = std::vector<std::unique_ptr<installed_package>>;

struct check_row {
    const char* what;
    std::vector<std::unique_ptr<installed_package>> installed;
    std::unique_ptr<package_header> candidate;
    unsigned mask;
    unsigned expected;
    std::vector<std::string> messages;
};

template <class... packages>
installed_list list_of(packages&&... items)
{
    installed_list list;
    (list.push_back(std::forward<packages>(items)), ...);
    return list;
}

TEST(install_check, reports_the_first_problem_and_returns_every_bit)
{
    const unsigned upgrade = FLAG_UPGRADE;
    check_row rows[] = {
        {"nothing installed", {}, package("a", ver(1, 0)), upgrade, 0, {}},
        {"upgrade", list_of(installed("a", ver(1, 0))), package("a", ver(1, 1)), upgrade, CHECK_NEWER, {}},
        {"same package", list_of(installed("a", ver(1, 0), 7)), package("a", ver(1, 0), 7), upgrade, CHECK_SAME,
         {"WARNING: omitting package a-1.0: it is already installed"}},
        {"same package, recovering", list_of(installed("a", ver(1, 0), 7)), package("a", ver(1, 0), 7),
         upgrade | FLAG_RECOVER, CHECK_SAME, {}},
        {"newer installed, then a missing dependency", list_of(installed("a", ver(2, 0))),
         package("a", ver(1, 0)).needs("libc"), upgrade, CHECK_OLDER | CHECK_UNUSABLE,
         {"WARNING: omitting package a-1.0: newer package a-2.0 is already installed"}},
        {"downgrade allowed: the dependency is reported", list_of(installed("a", ver(2, 0))),
         package("a", ver(1, 0)).needs("libc", ver(2, 1)), upgrade | FLAG_DOWNGRADE, CHECK_OLDER | CHECK_UNUSABLE,
         {"ERROR: can not install a-1.0: libc-2.1 is not installed, but is required"}},
        {"older installed and a missing dependency", list_of(installed("a", ver(0, 5))),
         package("a", ver(1, 0)).needs("libc"), upgrade, CHECK_NEWER | CHECK_UNUSABLE,
         {"ERROR: can not install a-1.0: libc is not installed, but is required"}},
        {"only the first missing dependency is named", list_of(installed("zlib", ver(1, 0))),
         package("a", ver(1, 0)).needs("zlib").needs("libc").needs("ssl"), upgrade, CHECK_UNUSABLE,
         {"ERROR: can not install a-1.0: libc is not installed, but is required"}},
        {"foreign architecture", {}, package("a", ver(1, 0)).made_for("mips").needs("libc"), upgrade, CHECK_UNUSABLE,
         {"ERROR: can not install a-1.0: it is not made for i386, but for mips"}},
        {"no architecture given", {}, package("a", ver(1, 0)).made_for(""), upgrade, 0, {}},
        {"a disabled provider does not count", list_of(installed("libc", ver(1, 0)).disabled()),
         package("a", ver(1, 0)).needs("libc"), upgrade, CHECK_UNUSABLE,
         {"ERROR: can not install a-1.0: libc is not installed, but is required"}},
        {"a provider by provides entry", list_of(installed("uclibc", ver(1, 0)).offers("libc", 0, ver(1, 0), ver(1, 0))),
         package("a", ver(1, 0)).needs("libc", ver(1, 0)), upgrade, 0, {}},
        {"conflict", list_of(installed("b", ver(1, 0)).excludes("a")), package("a", ver(1, 0)), upgrade, CHECK_CONFLICT,
         {"ERROR: can not install a-1.0: it conflicts with b-1.0"}},
        {"a disabled package does not block", list_of(installed("b", ver(1, 0)).excludes("a").disabled()),
         package("a", ver(1, 0)), upgrade, 0, {}},
        {"conflict silenced by the mask", list_of(installed("b", ver(1, 0)).excludes("a")), package("a", ver(1, 0)),
         upgrade | CHECK_CONFLICT, CHECK_CONFLICT, {}},
        {"everything silenced", list_of(installed("a", ver(2, 0)), installed("b", ver(1, 0)).excludes("a")),
         package("a", ver(1, 0)).made_for("arm").needs("x"), CHECK_SILENT,
         CHECK_OLDER | CHECK_UNUSABLE | CHECK_CONFLICT, {}},
        {"unusable silenced, conflict still told", list_of(installed("b", ver(1, 0)).excludes("a")),
         package("a", ver(1, 0)).needs("x"), upgrade | CHECK_UNUSABLE, CHECK_UNUSABLE | CHECK_CONFLICT,
         {"ERROR: can not install a-1.0: it conflicts with b-1.0"}},
    };
    for (check_row& row : rows) {
        silent_context out;
        out.context.installed = std::move(row.installed);
        EXPECT_EQ(check_install(out.context, *row.candidate, row.mask), row.expected) << row.what;
        EXPECT_EQ(out.context.message_log, row.messages) << row.what;
    }
}

}  // namespace
