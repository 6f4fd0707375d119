#include "installer/query/files_command.h"

#include <algorithm>
#include <cstdio>

#include "installer/database/package_database.h"
#include "installer/query/file_places.h"
#include "installer/query/table_output.h"

int run_files_command(const query_options& options)
{
    const std::string& name = options.arguments.front();
    // Only a name listed in the database is read: "../etc" must not lead out of it.
    std::vector<std::string> names;
    if (!list_record_names(names)) {
        std::fprintf(stderr, "installer-query: cannot read %s\n", DATABASE_DIRECTORY);
        return 1;
    }
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        std::fprintf(stderr, "installer-query: %s is not installed\n", name.c_str());
        return 1;
    }
    installed_package record;
    unsigned damage = read_record(record, name);
    if (damage & DAMAGE_VERSION)
        std::fprintf(stderr, "installer-query: cannot read %sversion\n", record_directory(record).c_str());

    table_output table({"PATH", "WHERE"}, options.tab_separated);
    for (std::string_view recorded : record.files) {
        file_places places = places_of(record, std::string(recorded));
        table.add_row({places.path, places.expected == places.path ? "in place" : places.expected});
    }
    table.print(stdout);
    return 0;
}
