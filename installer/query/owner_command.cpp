#include "installer/query/owner_command.h"

#include <cstdio>

#include "installer/database/files_in_use.h"
#include "installer/database/garbage_collection.h"
#include "installer/query/query_database.h"
#include "installer/query/table_output.h"

int run_owner_command(const query_options& options)
{
    query_database database;
    read_query_database(database, true);
    report_unreadable(database);

    table_output table({"PATH", "OWNER"}, options.tab_separated);
    bool all_owned = true;
    for (const std::string& argument : options.arguments) {
        // Recorded paths are absolute and plain: "/usr//bin/../sbin/x" is asked as "/usr/sbin/x".
        std::string path = normalize_directory(argument).value_or(argument);
        std::string owner = owner_of(database.context, path);
        if (owner.empty()) {
            all_owned = false;
            owner = "not owned";
        }
        table.add_row({path, owner});
    }
    table.print(stdout);
    return all_owned ? 0 : 1;
}
