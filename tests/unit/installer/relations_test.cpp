#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installer/planning/relations.h"
#include "relations_fixtures.h"

namespace {

using header_ptr = std::unique_ptr<package_header>;

TEST(relations, dependency_ranges_are_inclusive_and_zero_means_unbounded)
{
    struct row {
        const char* what;
        version_number version;
        dependency_entry entry;
        bool expected;
    };
    const row rows[] = {
        {"no bounds", ver(7, 3), {"a", 0, 0, 0}, true},
        {"at the minimum", ver(1, 0), {"a", ver(1, 0), 0, 0}, true},
        {"below the minimum", ver(0, 9), {"a", ver(1, 0), 0, 0}, false},
        {"at the maximum", ver(2, 0), {"a", 0, ver(2, 0), 0}, true},
        {"above the maximum", ver(2, 0, 1), {"a", 0, ver(2, 0), 0}, false},
        {"other name", ver(1, 0), {"ab", 0, 0, 0}, false},
    };
    for (const row& r : rows) {
        header_ptr a = package("a", r.version);
        EXPECT_EQ(satisfies(*a, r.entry), r.expected) << r.what;
    }
}

TEST(relations, ranges_overlap_only_where_bounds_meet)
{
    struct row {
        dependency_entry a, b;
        bool expected;
    };
    const row rows[] = {
        {{"x", ver(2, 0), 0, 0}, {"x", 0, ver(1, 0), 0}, false},
        {{"x", ver(2, 0), 0, 0}, {"x", 0, ver(2, 0), 0}, true},
        {{"x", 0, ver(1, 0), 0}, {"x", ver(1, 1), ver(3, 0), 0}, false},
        {{"x", ver(1, 0), ver(3, 0), 0}, {"x", ver(2, 0), ver(4, 0), 0}, true},
        {{"x", 0, 0, 0}, {"x", ver(9, 0), ver(9, 0), 0}, true},
        {{"x", 0, 0, 0}, {"y", 0, 0, 0}, false},
    };
    for (const row& r : rows) {
        EXPECT_EQ(ranges_overlap(r.a, r.b), r.expected) << r.a.minimum << "-" << r.a.maximum << " / " << r.b.minimum;
        EXPECT_EQ(ranges_overlap(r.b, r.a), r.expected) << "overlap is symmetric";
    }
}

TEST(relations, depends_on_follows_dependencies_provides_and_bundle_members)
{
    struct row {
        const char* what;
        header_ptr a, b;
        bool expected;
    };
    row rows[] = {
        {"direct", package("b", ver(1, 0)).needs("a", ver(1, 0)), package("a", ver(1, 2)), true},
        {"version too low", package("b", ver(1, 0)).needs("a", ver(2, 0)), package("a", ver(1, 2)), false},
        {"through provides", package("b", ver(1, 0)).needs("mail"), package("smtpd", ver(1, 0)).offers("mail"), true},
        {"provides out of range", package("b", ver(1, 0)).needs("mail", ver(3, 0)),
         package("smtpd", ver(1, 0)).offers("mail", 0, ver(1, 0), ver(2, 0)), false},
        {"member of b", package("b", ver(1, 0)).needs("a"), package("bundle", ver(5, 0)).holding(package("a", ver(1, 0))),
         true},
        {"member of a", package("bundle", ver(5, 0)).holding(package("b", ver(1, 0)).needs("a")), package("a", ver(1, 0)),
         true},
        {"reverse direction", package("a", ver(1, 0)), package("b", ver(1, 0)).needs("a"), false},
    };
    for (row& r : rows)
        EXPECT_EQ(depends_on(*r.a, *r.b), r.expected) << r.what;
}

TEST(relations, conflicts_decide_by_entries_and_provider_rank)
{
    struct row {
        const char* what;
        header_ptr a, b;
        bool a_conflicts_b, b_conflicts_a;
    };
    row rows[] = {
        {"conflict entry in range", package("a", ver(1, 0)).excludes("b", ver(1, 0), ver(2, 0)), package("b", ver(1, 5)), true,
         false},
        {"conflict entry out of range", package("a", ver(1, 0)).excludes("b", ver(1, 0), ver(2, 0)), package("b", ver(3, 0)),
         false, false},
        {"higher extra wins", package("a", ver(1, 0)).offers("mta", 5), package("b", ver(1, 0)).offers("mta", 3), true,
         false},
        {"equal extra", package("a", ver(1, 0)).offers("mta", 3), package("b", ver(1, 0)).offers("mta", 3), false, false},
        {"negative extra ranks below", package("a", ver(1, 0)).offers("mta", -2), package("b", ver(1, 0)).offers("mta", -1),
         false, true},
        {"replaces a package", package("new", ver(1, 0)).offers("old", 0), package("old", ver(1, 0)), true, false},
        {"gives way to a package", package("new", ver(1, 0)).offers("old", -1), package("old", ver(1, 0)), false, true},
        {"conflict with a provided name", package("a", ver(1, 0)).excludes("mta"), package("b", ver(1, 0)).offers("mta"),
         true, false},
        {"bundle holds a namesake", package("a", ver(1, 0)), package("set", ver(2, 0)).holding(package("a", ver(2, 0))),
         true, false},
        {"member conflicts", package("set", ver(2, 0)).holding(package("m", ver(1, 0)).excludes("b")),
         package("b", ver(1, 0)), true, false},
        {"unrelated", package("a", ver(1, 0)).needs("b"), package("b", ver(1, 0)), false, false},
    };
    for (row& r : rows) {
        EXPECT_EQ(conflicts_with(*r.a, *r.b), r.a_conflicts_b) << r.what;
        EXPECT_EQ(conflicts_with(*r.b, *r.a), r.b_conflicts_a) << r.what << " (reversed)";
    }
}

TEST(relations, provider_rank_decides_before_later_conflict_entries)
{
    // The provides step settles the question even where a later conflict entry would say yes.
    header_ptr a = package("a", ver(1, 0)).offers("mta", 1).excludes("smtp");
    header_ptr b = package("b", ver(1, 0)).offers("mta", 4).offers("smtp");
    EXPECT_FALSE(conflicts_with(*a, *b));
}

TEST(relations, packages_compare_by_version_then_build_time_also_through_bundles)
{
    struct row {
        const char* what;
        header_ptr a, b;
        int expected;
    };
    row rows[] = {
        {"newer version", package("a", ver(2, 0)), package("a", ver(1, 9)), 1},
        {"older build", package("a", ver(1, 0), 10), package("a", ver(1, 0), 11), -1},
        {"identical", package("a", ver(1, 0), 10), package("a", ver(1, 0), 10), 0},
        {"bundle member of a", package("set", ver(9, 0)).holding(package("a", ver(2, 0))), package("a", ver(1, 0)), 1},
        {"bundle member of b", package("a", ver(1, 0)), package("set", ver(1, 0)).holding(package("a", ver(0, 5))), 1},
        {"unrelated", package("a", ver(1, 0)), package("b", ver(2, 0)), 0},
    };
    for (row& r : rows) {
        EXPECT_EQ(compare_packages(*r.a, *r.b), r.expected) << r.what;
        EXPECT_EQ(compare_packages(*r.b, *r.a), -r.expected) << r.what << " (reversed)";
    }
    header_ptr set = package("set", ver(1, 0)).holding(package("a", ver(1, 0)));
    EXPECT_TRUE(names_package(*set, "a"));
    EXPECT_TRUE(names_package(*set, "set"));
    EXPECT_FALSE(names_package(*set, "s"));
}

}  // namespace
