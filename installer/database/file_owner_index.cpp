#include "installer/database/file_owner_index.h"

file_owner_index::file_owner_index(const run_context& context)
{
    std::size_t total = 0;
    for (const auto& package : context.installed)
        total += package->files.size();
    owners_.reserve(total);
    // emplace keeps an existing entry, so the first package in array order stays the owner.
    for (const auto& package : context.installed)
        for (const std::string& path : package->files)
            owners_.emplace(path, package.get());
}

std::string_view file_owner_index::owner_of(std::string_view path) const
{
    auto found = owners_.find(path);
    return found == owners_.end() ? std::string_view() : std::string_view(found->second->name);
}
