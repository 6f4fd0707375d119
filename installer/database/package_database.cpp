#include "installer/database/package_database.h"

#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/database/atomic_file.h"
#include "installer/database/installed_list.h"
#include "installer/package/canonical_path.h"
#include "installer/state/console.h"

std::string record_directory(const installed_package& record)
{
    return DATABASE_DIRECTORY + record.name + "/";
}

void load_database(run_context& context, bool quiet)
{
    context.quiet = quiet;
    DIR* directory = ::opendir(DATABASE_DIRECTORY);
    if (directory == nullptr) {
        show_warning(context, "could not open repo");
        return;
    }
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] == '.')
            continue;
        auto record = std::make_unique<installed_package>();
        record->architecture.clear();
        load_record(*record, entry->d_name);
        append_installed(context, std::move(record));
    }
    ::closedir(directory);
}

namespace {

// Reads (name, minimum, maximum[, extra]) entries until the names run out; false when a name is
// not followed by its numbers. The entries before that stay.
bool read_entries(const std::string& path, std::vector<dependency_entry>& entries, bool with_extra)
{
    std::ifstream file(path);
    std::string name;
    while (file >> name) {
        dependency_entry entry;
        entry.name = name;
        if (!(file >> entry.minimum >> entry.maximum))
            return false;
        if (with_extra && !(file >> entry.extra))
            return false;
        entries.push_back(std::move(entry));
    }
    return true;
}

void read_file_list(const std::string& path, std::set<std::string>& files)
{
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty())
            continue;
        // A copy gets a buffer of its own length; the line's grown buffer is reused for the next.
        // Lists written before paths were stored canonically may hold "//" or "/./": owners and
        // collection must compare the one spelling the installation uses.
        std::string path = line[0] != '/' ? "/" + line : line;
        if (!is_canonical(path))
            path = canonical_path(path);
        files.emplace_hint(files.end(), std::move(path));
    }
}

bool exists(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace

// A write cut short by a power cut leaves its temporary behind; it is never wanted, and it would
// keep the directory from being removed on uninstall.
void remove_stale_temporaries(const std::string& directory)
{
    for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files", ".operation"})
        ::unlink(temporary_path_for(directory + name).c_str());
}

void load_record(installed_package& record, const std::string& name)
{
    record.name = name;
    std::string directory = record_directory(record);

    std::ifstream version_file(directory + "version");
    if (!(version_file >> record.version >> record.build_time))
        record.action = ACTION_UNINSTALL;
    if (!read_entries(directory + "deps", record.dependencies, false))
        record.action = ACTION_UNINSTALL;
    if (!read_entries(directory + "provides", record.provides, true))
        record.action = ACTION_UNINSTALL;
    if (!read_entries(directory + "conflicts", record.conflicts, false))
        record.action = ACTION_UNINSTALL;

    record.is_bundle = !exists(directory + "files");
    if (!record.is_bundle)
        read_file_list(directory + "files", record.files);

    std::ifstream bundle_file(directory + "bundle");
    std::string bundle_name;
    if (bundle_file >> bundle_name) {
        record.bundle.name = bundle_name;
        record.bundle.minimum = 0;
        record.bundle.maximum = 0;
    }
    record.disabled = exists(directory + "disabled");
    read_schedule(record);
    remove_stale_temporaries(directory);
}

void read_schedule(installed_package& record)
{
    std::string path = record_directory(record) + "schedule";
    {
        std::ifstream file(path);
        std::string word;
        if (file >> word) {
            if (word == "uninstall")
                record.action = ACTION_UNINSTALL;
            else if (word == "enable")
                record.action = ACTION_ENABLE;
            else if (word == "disable")
                record.action = ACTION_DISABLE;
        }
    }
    // The request stays on disk until it has been carried out or refused: a power cut in between
    // must not lose it.
}

void consume_schedules(const run_context& context)
{
    for (const auto& record : context.installed)
        if (!record->name.empty())
            ::unlink((record_directory(*record) + "schedule").c_str());
}
