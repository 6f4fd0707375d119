#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installer/planning/change_plan.h"

namespace {

struct planned {
    std::string name;
    bool disabled = false;
    std::int32_t action = ACTION_NONE;
    std::vector<std::string> needs = {};
    std::vector<std::string> excludes = {};
    std::string bundle = {};
    bool is_bundle = false;
};

struct plan_case {
    const char* behaviour;
    std::vector<planned> packages;
    std::map<std::string, std::int32_t> actions_after;  // packages not named end with none
    std::vector<std::string> removals;
    std::vector<std::string> enables;
};

// Without this the test names would carry the raw bytes of the case, addresses included.
void PrintTo(const plan_case& row, std::ostream* out)
{
    *out << row.behaviour;
}

std::vector<std::string> names_of(const std::vector<installed_package*>& list)
{
    std::vector<std::string> names;
    for (const installed_package* package : list)
        names.push_back(package->name.empty() ? "<hold-back>" : package->name);
    return names;
}

class change_plan_test : public ::testing::TestWithParam<plan_case> {
protected:
    void SetUp() override
    {
        console_ = std::tmpfile();
        context_.console = console_;
        for (const planned& wanted : GetParam().packages) {
            auto package = std::make_unique<installed_package>();
            package->name = wanted.name;
            package->version = make_version(1, 0, 'f', 0);
            package->disabled = wanted.disabled;
            package->action = wanted.action;
            package->is_bundle = wanted.is_bundle;
            package->bundle.name = wanted.bundle;
            for (const std::string& name : wanted.needs)
                package->dependencies.push_back({name, 0, 0, 0});
            for (const std::string& name : wanted.excludes)
                package->conflicts.push_back({name, 0, 0, 0});
            context_.installed.push_back(std::move(package));
        }
    }
    void TearDown() override { std::fclose(console_); }

    run_context context_;
    std::FILE* console_ = nullptr;
};

TEST_P(change_plan_test, plans_consistent_changes)
{
    std::vector<installed_package*> removals;
    std::vector<installed_package*> enables;
    plan_changes(context_, removals, enables, REPORT_NOTHING);
    for (const auto& package : context_.installed) {
        auto expected = GetParam().actions_after.find(package->name);
        std::int32_t action = expected == GetParam().actions_after.end() ? ACTION_NONE : expected->second;
        EXPECT_EQ(package->action, action) << package->name;
    }
    EXPECT_EQ(names_of(removals), GetParam().removals);
    EXPECT_EQ(names_of(enables), GetParam().enables);
}

const plan_case PLAN_CASES[] = {
    {"enable_of_enabled_and_disable_of_disabled_are_dropped",
     {{"base"}, {"on", false, ACTION_ENABLE}, {"off", true, ACTION_DISABLE}},
     {}, {}, {}},
    {"enable_request_on_enabled_provider_keeps_its_dependents",
     {{"base"}, {"lib", false, ACTION_ENABLE}, {"app", false, ACTION_NONE, {"lib"}}},
     {}, {}, {}},
    {"member_of_disabled_bundle_that_is_disabled_gets_no_request",
     {{"base"}, {"sys", false, ACTION_DISABLE, {}, {}, "", true}, {"a", true, ACTION_NONE, {}, {}, "sys"},
      {"b", false, ACTION_NONE, {}, {}, "sys"}},
     {{"sys", ACTION_DISABLE}, {"b", ACTION_DISABLE}}, {"sys", "b"}, {}},
    {"enable_request_on_enabled_bundle_enables_its_disabled_members",
     {{"base"}, {"sys", false, ACTION_ENABLE, {}, {}, "", true}, {"a", true, ACTION_NONE, {}, {}, "sys"}},
     {{"a", ACTION_ENABLE}}, {}, {"a"}},
    {"disabled_provider_being_uninstalled_leaves_nothing_behind",
     {{"base"}, {"lib", true, ACTION_UNINSTALL}, {"app", true, ACTION_NONE, {"lib"}}},
     {{"lib", ACTION_UNINSTALL}, {"app", ACTION_UNINSTALL}}, {"app", "lib"}, {}},
    {"hold_back_record_is_never_operated_on",
     {{"base", false, ACTION_NONE, {"m"}}, {"m", true}, {"", false, ACTION_NONE, {}, {"m"}}},
     {{"m", ACTION_ENABLE}}, {}, {"m"}},
    {"packages_that_need_each_other_are_enabled_together",
     {{"base"}, {"a", true, ACTION_ENABLE, {"b"}}, {"b", true, ACTION_NONE, {"a"}}},
     {{"a", ACTION_ENABLE}, {"b", ACTION_ENABLE}}, {}, {"a", "b"}},
    // The member reaches the bundle first: the bundle's needs are secured from there as well, so
    // the refused uninstall of its dependency is followed by enabling it when the bundle's turn
    // comes, instead of leaving the bundle and its dependency disabled under an enabled member.
    {"bundle_enabled_through_its_member_brings_its_dependency_along",
     {{"base"}, {"m", true, ACTION_NONE, {}, {}, "sys"}, {"lib", true, ACTION_UNINSTALL},
      {"sys", true, ACTION_ENABLE, {"lib"}, {}, "", true}},
     {{"m", ACTION_ENABLE}, {"lib", ACTION_ENABLE}, {"sys", ACTION_ENABLE}}, {}, {"lib", "sys", "m"}},
    {"member_naming_itself_as_its_bundle_is_planned_without_end",
     {{"base"}, {"m", true, ACTION_ENABLE, {}, {}, "m"}},
     {{"m", ACTION_ENABLE}}, {}, {"m"}},
    // A fresh bundle whose first member is held back: nothing but the hold-back record is active
    // for a moment, and the plan goes on instead of being refused with an error.
    {"hold_back_record_counts_as_active_while_its_bundle_is_installed",
     {{"sys", false, ACTION_NONE, {}, {}, "", true}, {"", false, ACTION_NONE, {}, {"extra"}},
      {"extra", true, ACTION_NONE, {}, {}, "sys"}},
     {{"sys", ACTION_DISABLE}}, {"sys"}, {}},
};

INSTANTIATE_TEST_SUITE_P(cases, change_plan_test, ::testing::ValuesIn(PLAN_CASES),
                         [](const auto& test_info) { return std::string(test_info.param.behaviour); });

}  // namespace
