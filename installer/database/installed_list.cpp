#include "installer/database/installed_list.h"

void append_installed(run_context& context, std::unique_ptr<installed_package> record)
{
    context.installed.push_back(std::move(record));
}

int find_installed_index(const run_context& context, const std::string& name)
{
    for (std::size_t index = 0; index < context.installed.size(); ++index)
        if (context.installed[index]->name == name)
            return static_cast<int>(index);
    return -1;
}

installed_package* find_installed_record(const run_context& context, const std::string& name)
{
    int index = find_installed_index(context, name);
    return index < 0 ? nullptr : context.installed[index].get();
}

void remove_installed(run_context& context, int first, int last)
{
    context.installed.erase(context.installed.begin() + first, context.installed.begin() + last);
}

std::unique_ptr<installed_package> take_installed(run_context& context, const installed_package* record)
{
    for (auto entry = context.installed.begin(); entry != context.installed.end(); ++entry) {
        if (entry->get() == record) {
            std::unique_ptr<installed_package> taken = std::move(*entry);
            context.installed.erase(entry);
            return taken;
        }
    }
    return nullptr;
}
