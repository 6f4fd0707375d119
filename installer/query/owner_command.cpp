#include "installer/query/owner_command.h"

#include <cstdio>
#include <functional>
#include <map>

#include "installer/database/garbage_collection.h"
#include "installer/database/package_database.h"
#include "installer/query/query_database.h"
#include "installer/query/table_output.h"

int run_owner_command(const query_options& options)
{
    // Recorded paths are absolute and plain: "/usr//bin/../sbin/x" is asked as "/usr/sbin/x".
    std::vector<std::string> paths;
    std::map<std::string, std::string, std::less<>> owners;
    for (const std::string& argument : options.arguments) {
        paths.push_back(normalize_directory(argument).value_or(argument));
        owners[paths.back()];
    }

    // The first package in database order that lists a path owns it, as for installation and
    // collection. The lists are only scanned, not loaded: a few paths need no set of them all.
    query_database database;
    read_query_database(database, false);
    report_unreadable(database);
    std::size_t left = owners.size();
    for (const auto& record : database.context.installed) {
        if (record->is_bundle || left == 0)
            continue;
        for_each_listed_file(*record, [&](std::string_view path) {
            auto wanted = owners.find(path);
            if (wanted != owners.end() && wanted->second.empty()) {
                wanted->second = record->name;
                --left;
            }
            return left > 0;
        });
    }

    table_output table({"PATH", "OWNER"}, options.tab_separated);
    bool all_owned = true;
    for (const std::string& path : paths) {
        const std::string& owner = owners[path];
        all_owned = all_owned && !owner.empty();
        table.add_row({path, owner.empty() ? "not owned" : owner});
    }
    table.print(stdout);
    return all_owned ? 0 : 1;
}
