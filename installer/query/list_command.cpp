#include "installer/query/list_command.h"

#include "installer/query/query_database.h"
#include "installer/query/table_output.h"

namespace {

const char* request_word(std::int32_t action)
{
    switch (action) {
    case ACTION_UNINSTALL: return "uninstall";
    case ACTION_ENABLE: return "enable";
    case ACTION_DISABLE: return "disable";
    default: return "";
    }
}

}  // namespace

int run_list_command(const query_options& options)
{
    query_database database;
    // The file lists are most of the database and nothing here needs them.
    bool readable = read_query_database(database, false);
    table_output table({"NAME", "VERSION", "TYPE", "STATE", "BUNDLE", "REQUEST"}, options.tab_separated);
    for (const installed_package* record : records_by_name(database))
        table.add_row({record->name, version_text(record->version), record->is_bundle ? "bundle" : "package",
                       record->disabled ? "disabled" : "enabled", record->bundle.name, request_word(record->action)});
    table.print(stdout);
    report_unreadable(database);
    return readable && database.unreadable.empty() ? 0 : 1;
}
