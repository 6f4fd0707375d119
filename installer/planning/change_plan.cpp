#include "installer/planning/change_plan.h"

#include <algorithm>

#include "installer/database/installed_list.h"
#include "installer/planning/candidate_order.h"
#include "installer/planning/relations.h"
#include "installer/state/console.h"

namespace {

const char* action_word(std::int32_t action)
{
    switch (action) {
    case ACTION_UNINSTALL: return "uninstall";
    case ACTION_ENABLE: return "enable";
    case ACTION_DISABLE: return "disable";
    default: return "";
    }
}

// Hold-back records, the nameless conflict records that keep a bundle's listed packages from being
// enabled, steer the plan but are never operated on.
bool is_hold_back_record(const installed_package& package)
{
    return package.name.empty();
}

bool staying_enabled(const installed_package& package)
{
    return !package.disabled && package.action == ACTION_NONE;
}

bool becoming_enabled(const installed_package& package)
{
    return package.disabled && package.action == ACTION_ENABLE;
}

bool is_active(const installed_package& package)
{
    return staying_enabled(package) || becoming_enabled(package);
}

// Enabling what is enabled or disabling what is disabled would move files that are not where the
// relocation expects them; such requests mean "leave it as it is".
void drop_idle_requests(run_context& context)
{
    for (const auto& package : context.installed) {
        if ((package->action == ACTION_ENABLE && !package->disabled) ||
            (package->action == ACTION_DISABLE && package->disabled) || is_hold_back_record(*package))
            package->action = ACTION_NONE;
    }
}

void propagate_bundle_actions(run_context& context)
{
    for (const auto& member : context.installed) {
        if (member->bundle.name.empty())
            continue;
        installed_package* bundle = find_installed_record(context, member->bundle.name);
        if (!bundle)
            continue;
        if (bundle->action == ACTION_DISABLE && member->action != ACTION_UNINSTALL)
            member->action = ACTION_DISABLE;
        if (bundle->action == ACTION_UNINSTALL)
            member->action = ACTION_UNINSTALL;
        if (bundle->action == ACTION_ENABLE && member->disabled)
            member->action = ACTION_ENABLE;
    }
}

// The packages whose needs are being secured further up the chain of calls. A package reached
// again from within its own securing (a bundle record through one of its members, or a record
// naming itself as its bundle) is not secured once more there: that would never end.
using securing_chain = std::vector<const installed_package*>;

void secure_dependencies(run_context& context, installed_package& package, report_level level, securing_chain& chain);

// The needer needs the package: it stays, or is enabled, together with what it needs in turn. One
// that is already being enabled has its needs secured again: a provider whose removal was refused
// on the way may still be disabled and must then be enabled.
void require_package(run_context& context, installed_package& needed, const installed_package& needer, report_level level,
                     securing_chain& chain)
{
    if (needed.action == ACTION_UNINSTALL || needed.action == ACTION_DISABLE) {
        if (level == REPORT_CHANGES)
            show_warning(context, "can not %s %s: %s depends on it", action_word(needed.action),
                         needed.label().c_str(), needer.name.c_str());
        needed.action = ACTION_NONE;
    } else if (!needed.disabled) {
        return;
    } else {
        needed.action = ACTION_ENABLE;
    }
    secure_dependencies(context, needed, level, chain);
}

void secure_dependencies(run_context& context, installed_package& package, report_level level, securing_chain& chain)
{
    if (std::find(chain.begin(), chain.end(), &package) != chain.end())
        return;
    chain.push_back(&package);
    if (!package.bundle.name.empty()) {
        if (installed_package* bundle = find_installed_record(context, package.bundle.name))
            require_package(context, *bundle, package, level, chain);
    }
    for (const dependency_entry& dependency : package.dependencies) {
        std::vector<installed_package*> providers = find_providers(context, dependency, true);
        if (dependency_provider_status(providers) == PROVIDER_MET)
            continue;
        if (providers.empty())
            break;
        order_candidates(context, providers, false, false);
        if (!providers.empty())
            require_package(context, *providers.back(), package, level, chain);
    }
    chain.pop_back();
}

void resolve_conflicts(run_context& context, installed_package& package, report_level level)
{
    for (const auto& other : context.installed) {
        if (other.get() == &package || !is_active(*other))
            continue;
        if (conflicts_with(package, *other)) {
            if (other->action == ACTION_NONE)
                other->action = ACTION_DISABLE;
        } else if (package.action == ACTION_ENABLE && conflicts_with(*other, package)) {
            if (other->action == ACTION_NONE) {
                other->action = ACTION_DISABLE;
            } else if (other->action == ACTION_ENABLE) {
                if (level == REPORT_CHANGES)
                    show_warning(context, "can not enable %s: %s conflicts with it", package.name.c_str(),
                                 other->label().c_str());
                package.action = ACTION_NONE;
                return;
            }
        }
    }
}

// One change of the cascade, or false when the plan has settled.
bool cascade_once(run_context& context)
{
    for (const auto& package : context.installed) {
        for (const dependency_entry& dependency : package->dependencies) {
            provider_status status = dependency_provider_status(find_providers(context, dependency, true));
            if (status == PROVIDER_GONE && package->action != ACTION_UNINSTALL) {
                package->action = ACTION_UNINSTALL;
                return true;
            }
            if (status == PROVIDER_DISABLED_ONLY && package->action != ACTION_UNINSTALL &&
                package->action != ACTION_DISABLE && (!package->disabled || package->action != ACTION_NONE)) {
                package->action = ACTION_DISABLE;
                return true;
            }
        }
    }
    return false;
}

void cascade_breakage(run_context& context)
{
    while (cascade_once(context)) {
    }
}

void settle_bundle_records(run_context& context)
{
    for (const auto& bundle : context.installed) {
        if (!bundle->is_bundle || bundle->action == ACTION_UNINSTALL)
            continue;
        bool some_active = false;
        bool all_uninstalled = true;
        for (const auto& member : context.installed) {
            if (member->bundle.name != bundle->name || member.get() == bundle.get())
                continue;
            some_active = some_active || is_active(*member);
            all_uninstalled = all_uninstalled && member->action == ACTION_UNINSTALL;
        }
        if (some_active)
            continue;
        if (all_uninstalled)
            bundle->action = ACTION_UNINSTALL;
        else if (!bundle->disabled)
            bundle->action = ACTION_DISABLE;
        else if (bundle->action == ACTION_ENABLE)
            bundle->action = ACTION_NONE;
    }
}

// Hold-back records count too: they exist only while a bundle is being installed, whose record
// may be disabled for a moment until its first enabled member arrives; refusing that plan would
// report a failure where there is none.
bool anything_active(const run_context& context)
{
    return std::any_of(context.installed.begin(), context.installed.end(),
                       [](const auto& package) { return is_active(*package); });
}

}  // namespace

provider_status dependency_provider_status(const std::vector<installed_package*>& providers)
{
    bool some_left = false;
    for (const installed_package* provider : providers) {
        if (provider->action == ACTION_UNINSTALL)
            continue;  // enabled or not, it will be gone
        if (is_active(*provider))
            return PROVIDER_MET;
        some_left = true;  // being disabled, or staying disabled
    }
    return some_left ? PROVIDER_DISABLED_ONLY : PROVIDER_GONE;
}

void plan_changes(run_context& context, std::vector<installed_package*>& removals,
                  std::vector<installed_package*>& enables, report_level level)
{
    // A bundle's request speaks for its members even when the bundle record itself is already
    // in the state asked for, so it is passed on before idle requests are dropped.
    propagate_bundle_actions(context);
    drop_idle_requests(context);
    for (std::size_t index = 0; index < context.installed.size(); ++index)
        if (is_active(*context.installed[index])) {
            securing_chain chain;
            secure_dependencies(context, *context.installed[index], level, chain);
        }
    for (std::size_t index = 0; index < context.installed.size(); ++index)
        if (is_active(*context.installed[index]))
            resolve_conflicts(context, *context.installed[index], level);
    cascade_breakage(context);
    settle_bundle_records(context);
    // The plan itself may ask to disable what is disabled (a member of a disabled bundle).
    drop_idle_requests(context);

    removals.clear();
    enables.clear();
    if (!context.installed.empty() && !anything_active(context)) {
        for (const auto& package : context.installed)
            package->action = ACTION_NONE;
        if (level == REPORT_CHANGES)
            show_error(context, "can not uninstall or disable all packages");
        return;
    }
    std::vector<installed_package*> removal_candidates;
    for (const auto& package : context.installed) {
        if (package->action == ACTION_UNINSTALL || package->action == ACTION_DISABLE)
            removal_candidates.push_back(package.get());
        else if (package->action == ACTION_ENABLE)
            enables.push_back(package.get());
    }
    order_candidates(context, removal_candidates, false, false);
    order_candidates(context, enables, false, false);
    removals.assign(removal_candidates.rbegin(), removal_candidates.rend());
}
