#include <cstring>

#include "setup/tui/install_order.h"

void install_order_init(install_order& order, const package_list& list)
{
    order.list = &list;
    order.sequence.clear();
    order.cursor = 0;
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
