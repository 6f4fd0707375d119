#include <fstream>
#include <string>

#include "setup/tui/package_selection.h"

namespace {

bool depends_on(const package_entry& entry, std::string_view name)
{
    for (size_t i = 0; i < entry.dependency_count; ++i)
        if (dependency_name(entry, i) == name)
            return true;
    return false;
}

}  // namespace

void select_all(package_list& list)
{
    for (package_entry& entry : list.entries)
        entry.selected = true;
}

void select_minimum(package_list& list)
{
    for (package_entry& entry : list.entries)
        entry.selected = false;
    if (package_entry* system = find_package(list, SYSTEM_PACKAGE))
        system->selected = true;
}

void select_with_dependencies(package_list& list, package_entry& entry)
{
    entry.selected = true;
    for (size_t i = 0; i < entry.dependency_count; ++i)
        if (package_entry* dependency = find_package(list, dependency_name(entry, i)))
            dependency->selected = true;
}

bool toggle_package(package_list& list, package_entry& entry)
{
    std::string_view name = package_name(entry);
    if (!entry.selected) {
        select_with_dependencies(list, entry);
        return true;
    }
    if (name == SYSTEM_PACKAGE)
        return false;
    // Deselecting it would take "system" along, which every selection keeps, and the install order
    // would bring it back anyway.
    for (const package_entry& other : list.entries)
        if (other.selected && package_name(other) == SYSTEM_PACKAGE && depends_on(other, name))
            return false;
    entry.selected = false;
    for (package_entry& other : list.entries)
        if (depends_on(other, name))
            other.selected = false;
    return true;
}

void select_default_packages(package_list& list)
{
    std::ifstream file(std::string(list.directory) + "/defpacks");
    std::string word;
    while (file >> word) {
        // Names are compared over at most 16 bytes, a longer word included.
        std::string_view name(word);
        if (package_entry* entry = find_package(list, name.substr(0, NAME_FIELD_SIZE)))
            select_with_dependencies(list, *entry);
    }
}
