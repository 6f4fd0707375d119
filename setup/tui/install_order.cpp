#include <cstring>

#include "setup/tui/install_order.h"

namespace {

struct order_builder {
    const package_list& list;
    install_order& order;
    std::vector<bool> visited;

    size_t index_of(std::string_view name) const
    {
        for (size_t i = 0; i < list.entries.size(); ++i)
            if (package_name(list.entries[i]) == name)
                return i;
        return list.entries.size();
    }

    // Each entry is entered once, so a dependency cycle ends at the entry already visited.
    void visit(size_t index)
    {
        if (visited[index])
            return;
        visited[index] = true;
        const package_entry& entry = list.entries[index];
        for (size_t i = 0; i < entry.dependency_count; ++i) {
            size_t dependency = index_of(dependency_name(entry, i));
            if (dependency < list.entries.size())
                visit(dependency);
        }
        order.sequence.push_back(index);
    }
};

}  // namespace

void install_order_init(install_order& order, const package_list& list)
{
    order.list = &list;
    order.sequence.clear();
    order.cursor = 0;
    order_builder builder{list, order, std::vector<bool>(list.entries.size(), false)};
    for (size_t i = 0; i < list.entries.size(); ++i)
        if (list.entries[i].selected)
            builder.visit(i);
}

bool install_order_next(install_order& order, std::string& path_out)
{
    if (order.list == nullptr || order.cursor >= order.sequence.size())
        return false;
    path_out = order.list->entries[order.sequence[order.cursor++]].path;
    return true;
}

void install_order_name(const install_order& order, char (&name_out)[20])
{
    std::memset(name_out, 0, sizeof name_out);
    if (order.list == nullptr || order.cursor == 0)
        return;
    std::string_view name = package_name(order.list->entries[order.sequence[order.cursor - 1]]);
    std::memcpy(name_out, name.data(), name.size());
}
