#include "installer/database/file_owner_index.h"

#include <algorithm>
#include <functional>

namespace {

std::size_t hash_of(std::string_view path)
{
    return std::hash<std::string_view>{}(path);
}

}  // namespace

file_owner_index::file_owner_index(const run_context& context)
{
    std::size_t total = 0;
    for (const auto& package : context.installed) {
        packages_.push_back(package.get());
        firsts_.push_back(static_cast<std::uint32_t>(total));
        total += package->files.size();
    }
    slots_.assign(std::max<std::size_t>(8, total + total / 2), 0);

    std::uint32_t number = 0;
    for (const installed_package* package : packages_)
        for (std::string_view path : package->files) {
            std::size_t slot = slot_of(path, hash_of(path));
            // A path already there keeps the package that came first in array order.
            if (slots_[slot] == 0)
                slots_[slot] = number + 1;
            ++number;
        }
}

std::size_t file_owner_index::package_of(std::uint32_t number) const
{
    // The last package whose first path is at or before the number; empty sets share a first.
    auto after = std::upper_bound(firsts_.begin(), firsts_.end(), number);
    return static_cast<std::size_t>(after - firsts_.begin()) - 1;
}

std::string_view file_owner_index::path_of(std::uint32_t number) const
{
    std::size_t package = package_of(number);
    return packages_[package]->files.at(number - firsts_[package]);
}

std::size_t file_owner_index::slot_of(std::string_view path, std::size_t hash) const
{
    // The hash scaled to the table picks the slot: no power-of-two size is needed.
    auto wide = static_cast<std::uint64_t>(hash);
    auto folded = static_cast<std::uint32_t>(wide ^ (wide >> 32));
    auto slot = static_cast<std::size_t>((std::uint64_t(folded) * slots_.size()) >> 32);
    while (slots_[slot] != 0 && path_of(slots_[slot] - 1) != path)
        slot = slot + 1 == slots_.size() ? 0 : slot + 1;
    return slot;
}

std::string_view file_owner_index::owner_of(std::string_view path) const
{
    std::uint32_t entry = slots_[slot_of(path, hash_of(path))];
    return entry == 0 ? std::string_view() : std::string_view(packages_[package_of(entry - 1)]->name);
}

std::string owner_of(const run_context& context, const std::string& path)
{
    for (const auto& package : context.installed)
        if (package->files.count(path) != 0)
            return package->name;
    return {};
}
