#include "installer/query/query_database.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "installer/database/installed_list.h"
#include "installer/database/package_database.h"

namespace {

// The files each damage bit stands for.
struct damage_file {
    unsigned bit;
    const char* name;
};
constexpr damage_file DAMAGE_FILES[] = {
    {DAMAGE_VERSION, "version"},
    {DAMAGE_DEPS, "deps"},
    {DAMAGE_PROVIDES, "provides"},
    {DAMAGE_CONFLICTS, "conflicts"},
};

}  // namespace

bool read_query_database(query_database& database, bool with_file_lists)
{
    std::vector<std::string> names;
    if (!list_record_names(names)) {
        database.unreadable.push_back({"", DATABASE_DIRECTORY});
        return false;
    }
    for (const std::string& name : names) {
        auto record = std::make_unique<installed_package>();
        record->architecture.clear();
        unsigned damage = read_record(*record, name, with_file_lists);
        for (const damage_file& file : DAMAGE_FILES)
            if (damage & file.bit)
                database.unreadable.push_back({name, record_directory(*record) + file.name});
        append_installed(database.context, std::move(record));
    }
    return true;
}

void report_unreadable(const query_database& database)
{
    for (const auto& file : database.unreadable)
        std::fprintf(stderr, "installer-query: cannot read %s\n", file.path.c_str());
}

std::vector<const installed_package*> records_by_name(const query_database& database)
{
    std::vector<const installed_package*> records;
    for (const auto& record : database.context.installed)
        records.push_back(record.get());
    std::sort(records.begin(), records.end(),
              [](const installed_package* a, const installed_package* b) { return a->name < b->name; });
    return records;
}
