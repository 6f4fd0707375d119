#include "installer/planning/relations.h"


bool satisfies(const package_header& package, const dependency_entry& entry)
{
    return package.name == entry.name && package.version >= entry.minimum &&
           (entry.maximum == 0 || package.version <= entry.maximum);
}

bool ranges_overlap(const dependency_entry& a, const dependency_entry& b)
{
    if (a.name != b.name)
        return false;
    if (a.minimum != 0 && b.maximum != 0 && a.minimum > b.maximum)
        return false;
    return !(a.maximum != 0 && b.minimum != 0 && a.maximum < b.minimum);
}

bool provides_entry(const package_header& package, const dependency_entry& entry)
{
    for (const dependency_entry& provided : package.provides)
        if (ranges_overlap(provided, entry))
            return true;
    return false;
}

bool depends_on(const package_header& a, const package_header& b)
{
    for (const dependency_entry& dependency : a.dependencies)
        if (satisfies(b, dependency) || provides_entry(b, dependency))
            return true;
    for (const auto& member : b.contained_packages)
        if (depends_on(a, *member))
            return true;
    for (const auto& member : a.contained_packages)
        if (depends_on(*member, b))
            return true;
    return false;
}

namespace {

const dependency_entry* first_provided(const package_header& package, const std::string& name)
{
    for (const dependency_entry& provided : package.provides)
        if (provided.name == name)
            return &provided;
    return nullptr;
}

}  // namespace

bool conflicts_with(const package_header& a, const package_header& b)
{
    for (const dependency_entry& conflict : a.conflicts)
        if (satisfies(b, conflict))
            return true;
    // A provider that names another package takes its place unless it ranks itself below it.
    if (const dependency_entry* provided = first_provided(b, a.name))
        return provided->extra < 0;
    for (const dependency_entry& provided_a : a.provides) {
        if (provided_a.name == b.name)
            return provided_a.extra >= 0;
        if (const dependency_entry* provided_b = first_provided(b, provided_a.name))
            return provided_a.extra > provided_b->extra;
    }
    for (const dependency_entry& conflict : a.conflicts)
        if (provides_entry(b, conflict))
            return true;
    for (const auto& member : b.contained_packages)
        if (member->name == a.name)
            return true;
    for (const auto& member : a.contained_packages)
        if (conflicts_with(*member, b))
            return true;
    return false;
}

bool names_package(const package_header& package, const std::string& name)
{
    if (package.name == name)
        return true;
    for (const auto& member : package.contained_packages)
        if (member->name == name)
            return true;
    return false;
}

int compare_packages(const package_header& a, const package_header& b)
{
    if (a.name == b.name) {
        int by_version = compare_versions(a.version, b.version);
        if (by_version != 0)
            return by_version;
        return a.build_time < b.build_time ? -1 : a.build_time > b.build_time ? 1 : 0;
    }
    for (const auto& member : a.contained_packages)
        if (member->name == b.name)
            return compare_packages(*member, b);
    for (const auto& member : b.contained_packages)
        if (member->name == a.name)
            return -compare_packages(*member, a);
    return 0;
}

std::vector<installed_package*> find_providers(const run_context& context, const dependency_entry& entry,
                                               bool include_disabled)
{
    std::vector<installed_package*> providers;
    for (const auto& package : context.installed)
        if ((satisfies(*package, entry) || provides_entry(*package, entry)) && (include_disabled || !package->disabled))
            providers.push_back(package.get());
    return providers;
}

installed_package* first_conflicting(const run_context& context, const package_header& candidate)
{
    for (const auto& package : context.installed)
        if (!package->disabled && conflicts_with(*package, candidate))
            return package.get();
    return nullptr;
}
