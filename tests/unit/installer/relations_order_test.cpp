#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installer/planning/candidate_order.h"
#include "relations_fixtures.h"

namespace {

using candidate_list = std::vector<std::unique_ptr<package_header>>;

template <class... packages>
candidate_list candidates(packages&&... items)
{
    candidate_list list;
    (list.push_back(std::forward<packages>(items)), ...);
    return list;
}

std::vector<std::string> labels(const candidate_list& list)
{
    std::vector<std::string> result;
    for (const auto& candidate : list)
        result.push_back(candidate->label() + (candidate->is_bundle ? "*" : ""));
    return result;
}

struct order_row {
    const char* what;
    candidate_list input;
    bool prefer_older;
    std::vector<std::string> expected;  // labels; "*" marks a bundle
    std::vector<std::string> messages;  // in the verbose form
};

TEST(candidate_order, choice_keeps_the_best_of_each_name)
{
    order_row rows[] = {
        {"newest wins", candidates(package("a", ver(1, 0)), package("a", ver(1, 2)), package("a", ver(1, 1))), false,
         {"a-1.2"},
         {"WARNING: omitting package a-1.0: newer package is already provided",
          "WARNING: omitting package a-1.1: newer package is already provided"}},
        {"oldest wins when preferred", candidates(package("a", ver(1, 0)), package("a", ver(1, 2))), true, {"a-1.0"},
         {"WARNING: omitting package a-1.2: older package is already provided"}},
        {"build time breaks a tie", candidates(package("a", ver(1, 0), 9), package("a", ver(1, 0), 8)), false, {"a-1.0"},
         {"WARNING: omitting package a-1.0: newer package is already provided"}},
        {"two equal files are both dropped", candidates(package("a", ver(1, 0), 5), package("a", ver(1, 0), 5)), false,
         {}, {}},
        {"an equal bundle beats the single package",
         candidates(package("a", ver(1, 0)), package("set", ver(3, 0)).holding(package("a", ver(1, 0)))), false,
         {"set-3.0*"}, {}},
        {"a newer single package beats the bundle member",
         candidates(package("set", ver(3, 0)).holding(package("a", ver(1, 0))), package("a", ver(1, 1))), false, {"a-1.1"},
         {"WARNING: omitting package set-3.0: newer package is already provided"}},
        {"a dropped candidate still knocks out a worse one",
         candidates(package("a", ver(1, 0)), package("a", ver(2, 0), 1), package("a", ver(2, 0), 1)), false, {},
         {"WARNING: omitting package a-1.0: newer package is already provided"}},
    };
    for (order_row& row : rows) {
        silent_context out;
        order_candidates(out.context, row.input, row.prefer_older, true);
        EXPECT_EQ(labels(row.input), row.expected) << row.what;
        EXPECT_EQ(out.context.message_log, row.messages) << row.what;
    }
}

TEST(candidate_order, order_puts_what_is_needed_and_what_conflicts_first)
{
    order_row rows[] = {
        {"dependency first", candidates(package("b", ver(1, 0)).needs("a"), package("a", ver(1, 0))), false,
         {"a-1.0", "b-1.0"}, {}},
        {"unrelated keep no order of their own: each goes to the front",
         candidates(package("a", ver(1, 0)), package("b", ver(1, 0)), package("c", ver(1, 0))), false,
         {"c-1.0", "b-1.0", "a-1.0"}, {}},
        {"chain given backwards",
         candidates(package("c", ver(1, 0)).needs("b"), package("b", ver(1, 0)).needs("a"), package("a", ver(1, 0))), false,
         {"a-1.0", "b-1.0", "c-1.0"}, {}},
        {"needed through provides", candidates(package("web", ver(1, 0)).needs("mta"), package("smtpd", ver(1, 0)).offers("mta")),
         false, {"smtpd-1.0", "web-1.0"}, {}},
        {"after the package that conflicts with it",
         candidates(package("old", ver(1, 0)).excludes("new"), package("new", ver(1, 0))), false, {"old-1.0", "new-1.0"},
         {}},
        {"goes right after the last one it needs",
         candidates(package("a", ver(1, 0)), package("b", ver(1, 0)), package("c", ver(1, 0)).needs("a")), false,
         {"b-1.0", "a-1.0", "c-1.0"}, {}},
    };
    for (order_row& row : rows) {
        silent_context out;
        order_candidates(out.context, row.input, row.prefer_older, false);
        EXPECT_EQ(labels(row.input), row.expected) << row.what;
        EXPECT_TRUE(out.context.message_log.empty()) << row.what;
    }
}

}  // namespace
