#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "installer/state/file_set.h"

namespace {

std::vector<std::string> contents(const file_set& set)
{
    return std::vector<std::string>(set.begin(), set.end());
}

// "+path" adds, "-path" erases, "?" looks the set up (which sorts a waiting tail in).
TEST(file_set, holds_each_path_once_in_byte_order_whatever_the_order_of_changes)
{
    struct row {
        const char* what;
        std::vector<std::string> steps;
        std::vector<std::string> expected;
    } rows[] = {
        {"sorted input", {"+/a", "+/b", "+/c"}, {"/a", "/b", "/c"}},
        {"reversed input", {"+/c", "+/b", "+/a"}, {"/a", "/b", "/c"}},
        {"repeats", {"+/b", "+/a", "+/b", "+/a", "?", "+/a"}, {"/a", "/b"}},
        {"byte order, not name order", {"+/a/b", "+/a-b", "+/a.b", "+/a/b/c"}, {"/a-b", "/a.b", "/a/b", "/a/b/c"}},
        {"erase from the sorted part", {"+/a", "+/b", "+/c", "-/b", "-/x"}, {"/a", "/c"}},
        {"erase from the tail", {"+/c", "+/a", "-/c", "+/b"}, {"/a", "/b"}},
        {"erase then add again", {"+/c", "+/a", "-/a", "+/a", "-/q"}, {"/a", "/c"}},
        {"add, settle, erase in the tail", {"+/b", "+/a", "?", "+/0", "-/b"}, {"/0", "/a"}},
        {"erase everything", {"+/b", "+/a", "-/a", "-/b"}, {}},
    };
    for (const row& r : rows) {
        file_set set;
        for (const std::string& step : r.steps) {
            if (step[0] == '+')
                set.insert(step.substr(1));
            else if (step[0] == '-')
                set.erase(step.substr(1));
            else
                (void)set.contains("/");
        }
        EXPECT_EQ(contents(set), r.expected) << r.what;
        EXPECT_EQ(set.size(), r.expected.size()) << r.what;
        for (const std::string& path : r.expected)
            EXPECT_TRUE(set.contains(path)) << r.what << ": " << path;
        EXPECT_FALSE(set.contains("/a/")) << r.what;
        file_set copy = set;
        EXPECT_EQ(contents(copy), r.expected) << r.what << " (copy)";
    }
}

TEST(file_set, random_changes_match_a_tree_set)
{
    std::mt19937 random(25);
    file_set set;
    std::set<std::string> model;
    for (int step = 0; step < 20000; ++step) {
        std::string path = "/d" + std::to_string(random() % 7) + "/f" + std::to_string(random() % 300);
        switch (random() % 5) {
        case 0:
            set.erase(path);
            model.erase(path);
            break;
        case 1:
            ASSERT_EQ(set.contains(path), model.count(path) != 0) << path;
            break;
        default:
            set.insert(path);
            model.insert(path);
        }
        if (step % 997 == 0) {
            ASSERT_EQ(contents(set), std::vector<std::string>(model.begin(), model.end())) << step;
            set.shrink_to_fit();
        }
    }
    for (int round = 0; round < 300; ++round)  // a path of the set itself, while its text grows
        set.insert(set.at(0));
    file_set moved = std::move(set);
    EXPECT_EQ(contents(moved), std::vector<std::string>(model.begin(), model.end()));
    EXPECT_TRUE(set.empty());
}

}  // namespace
