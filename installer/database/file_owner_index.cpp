#include "installer/database/file_owner_index.h"

#include <functional>

file_owner_index::file_owner_index(const run_context& context)
{
    std::size_t total = 0;
    for (const auto& package : context.installed)
        total += package->files.size();
    std::size_t capacity = 8;
    while (capacity < 2 * total)
        capacity *= 2;
    mask_ = capacity - 1;
    paths_.assign(capacity, nullptr);
    owners_.assign(capacity, 0);

    for (const auto& package : context.installed) {
        auto owner = static_cast<std::uint32_t>(packages_.size());
        packages_.push_back(package.get());
        for (const std::string& path : package->files) {
            std::size_t slot = slot_of(path);
            // A path already there keeps the package that came first in array order.
            if (paths_[slot] == nullptr) {
                paths_[slot] = &path;
                owners_[slot] = owner;
            }
        }
    }
}

std::size_t file_owner_index::slot_of(std::string_view path) const
{
    std::size_t slot = std::hash<std::string_view>{}(path) & mask_;
    while (paths_[slot] != nullptr && *paths_[slot] != path)
        slot = (slot + 1) & mask_;
    return slot;
}

std::string_view file_owner_index::owner_of(std::string_view path) const
{
    std::size_t slot = slot_of(path);
    return paths_[slot] == nullptr ? std::string_view() : std::string_view(packages_[owners_[slot]]->name);
}

std::string owner_of(const run_context& context, const std::string& path)
{
    for (const auto& package : context.installed)
        if (package->files.count(path) != 0)
            return package->name;
    return {};
}
