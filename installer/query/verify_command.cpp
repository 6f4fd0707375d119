#include "installer/query/verify_command.h"

#include <cstdio>
#include <memory>
#include <sys/stat.h>

#include "installer/database/file_owner_index.h"
#include "installer/database/installed_list.h"
#include "installer/database/operation_journal.h"
#include "installer/database/package_database.h"
#include "installer/query/file_places.h"
#include "installer/query/file_presence.h"
#include "installer/query/query_database.h"
#include "installer/query/table_output.h"

namespace {

bool present(const std::string& path)
{
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
}

class verification {
public:
    verification(const query_database& database, bool tab_separated)
        : database_(database), problems_({"PACKAGE", "PROBLEM", "PATH"}, tab_separated)
    {
    }

    void check_package(const installed_package& package)
    {
        ++packages_;
        for (const auto& file : database_.unreadable)
            if (file.package == package.name)
                add(package.name, "unreadable", file.path);
        for (const std::string& temporary : temporary_paths_in(record_directory(package)))
            if (present(temporary))
                add(package.name, "leftover", temporary);
        // The next start of installer finishes or rolls back what a power cut left half done.
        if (!interrupted_operation(package).empty())
            add(package.name, "interrupted", record_directory(package) + OPERATION_JOURNAL);
        // Without its area an enabled package cannot have files left there: one look instead of
        // one per file.
        bool area_exists = package.disabled || present(disabled_area(package));
        for (std::string_view recorded : package.files) {
            ++files_;
            file_places places = places_of(package, std::string(recorded));
            bool at_expected = expected_places_.exists(places.expected);
            bool at_other = !places.other.empty() && area_exists && present(places.other) &&
                            !owned_by_another(package, places.other);
            if (at_expected && at_other)
                add(package.name, "duplicate", places.other);
            else if (at_other)
                add(package.name, "misplaced", places.other);
            else if (!at_expected)
                add(package.name, "missing", places.expected);
        }
    }

    void add(const std::string& name, const char* problem, const std::string& path)
    {
        problems_.add_row({name, problem, path});
        ++count_;
    }

    // Problems first, then the summary (left out of the tab-separated form).
    void print(bool tab_separated) const
    {
        problems_.print(stdout);
        if (tab_separated)
            return;
        std::printf("checked %zu files of %zu packages: ", files_, packages_);
        if (count_ == 0)
            std::printf("no problems\n");
        else
            std::printf("%zu problem%s\n", count_, count_ == 1 ? "" : "s");
    }

    bool clean() const { return count_ == 0; }

private:
    // A disabled package's place may hold another package's file of the same name.
    bool owned_by_another(const installed_package& package, const std::string& path)
    {
        if (!owners_)
            owners_ = std::make_unique<file_owner_index>(database_.context);
        std::string_view owner = owners_->owner_of(path);
        return !owner.empty() && owner != package.name;
    }

    const query_database& database_;
    table_output problems_;
    std::unique_ptr<file_owner_index> owners_;
    file_presence expected_places_;
    std::size_t packages_ = 0;
    std::size_t files_ = 0;
    std::size_t count_ = 0;
};

}  // namespace

int run_verify_command(const query_options& options)
{
    query_database database;
    bool readable = read_query_database(database, true);
    verification check(database, options.tab_separated);
    if (!readable) {
        report_unreadable(database);
        return 1;
    }
    if (options.arguments.empty()) {
        for (const installed_package* record : records_by_name(database))
            check.check_package(*record);
    } else {
        for (const std::string& name : options.arguments) {
            const installed_package* record = find_installed_record(database.context, name);
            if (record == nullptr)
                check.add(name, "not-installed", "");
            else
                check.check_package(*record);
        }
    }
    check.print(options.tab_separated);
    return check.clean() ? 0 : 1;
}
