#include "installer/database/package_database.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "installer/database/atomic_file.h"
#include "installer/database/installed_list.h"
#include "installer/package/canonical_path.h"
#include "installer/state/console.h"

std::string record_directory(const installed_package& record)
{
    return DATABASE_DIRECTORY + record.name + "/";
}

std::string disabled_area(const installed_package& package)
{
    return "/x/" + package.name;
}

void load_database(run_context& context, bool quiet)
{
    context.quiet = quiet;
    std::vector<std::string> names;
    if (!list_record_names(names)) {
        show_warning(context, "could not open repo");
        return;
    }
    for (const std::string& name : names) {
        auto record = std::make_unique<installed_package>();
        record->architecture.clear();
        load_record(*record, name);
        append_installed(context, std::move(record));
    }
}

bool list_record_names(std::vector<std::string>& names)
{
    DIR* directory = ::opendir(DATABASE_DIRECTORY);
    if (directory == nullptr)
        return false;
    while (const dirent* entry = ::readdir(directory))
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    ::closedir(directory);
    return true;
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

bool exists(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace

void for_each_listed_file(const installed_package& record, const std::function<bool(std::string_view)>& visit)
{
    owned_descriptor file(::open((record_directory(record) + "files").c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return;
    // The byte before each line (the end of the line before it, or a spare first byte) is where
    // the "/" goes that a relative line lacks: no line is copied on the way to visit. The buffer
    // lies on the stack, so that reading a thousand lists leaves no holes in the heap among the
    // file sets; only a line longer than it moves to the heap.
    char stack_buffer[1 + 32768];
    std::string heap_buffer;
    char* buffer = stack_buffer;
    std::size_t size = sizeof stack_buffer;
    std::size_t filled = 1;
    bool at_end = false;
    while (!at_end) {
        if (filled == size) {
            if (buffer == stack_buffer)
                heap_buffer.assign(stack_buffer, filled);
            size *= 2;
            heap_buffer.resize(size);
            buffer = heap_buffer.data();
        }
        ssize_t got = ::read(file.get(), buffer + filled, size - filled);
        if (got < 0 && errno == EINTR)
            continue;
        at_end = got <= 0;
        if (at_end)
            buffer[filled++] = '\n';  // the last line may lack its end
        else
            filled += static_cast<std::size_t>(got);
        std::size_t start = 1;
        for (;;) {
            char* end = static_cast<char*>(std::memchr(buffer + start, '\n', filled - start));
            if (end == nullptr)
                break;
            std::size_t length = static_cast<std::size_t>(end - buffer) - start;
            if (length != 0) {
                std::string_view path(buffer + start, length);
                if (path[0] != '/') {
                    buffer[start - 1] = '/';
                    path = std::string_view(buffer + start - 1, length + 1);
                }
                // Lists written before paths were stored canonically may hold "//" or "/./": owners
                // and collection must compare the one spelling the installation uses.
                bool go_on = is_canonical(path) ? visit(path) : visit(canonical_path(std::string(path)));
                if (!go_on)
                    return;
            }
            start += length + 1;
        }
        std::memmove(buffer + 1, buffer + start, filled - start);
        filled = 1 + filled - start;
    }
}

// A write cut short by a power cut leaves its temporary behind; it is never wanted, and it would
// keep the directory from being removed on uninstall.
void remove_stale_temporaries(const std::string& directory)
{
    for (const std::string& temporary : temporary_paths_in(directory))
        ::unlink(temporary.c_str());
}

std::vector<std::string> temporary_paths_in(const std::string& directory)
{
    std::vector<std::string> paths;
    for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files", ".operation"})
        paths.push_back(temporary_path_for(directory + name));
    return paths;
}

void load_record(installed_package& record, const std::string& name)
{
    // The schedule file stays until its request has been carried out or refused (consume_schedules).
    read_record(record, name);
    remove_stale_temporaries(record_directory(record));
}

namespace {

constexpr const char* RECORD_FILE_NAMES[] = {"version", "deps", "provides", "conflicts", "files", "bundle", "disabled",
                                             "schedule"};

// Which of RECORD_FILE_NAMES (bit i for entry i) the record directory lists. A record has only a
// few of them: one listing spares an open per absent file, which adds up over a whole database.
// Every bit is set when the directory cannot be listed, so that each file is still tried.
struct record_listing {
    unsigned listed = ~0u;
    unsigned plain = 0;  // listed as a file or directory, not a link: it exists without a stat
};

record_listing listed_record_files(const std::string& directory)
{
    record_listing result;
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr)
        return result;
    result.listed = 0;
    while (const dirent* entry = ::readdir(listing))
        for (unsigned index = 0; index < std::size(RECORD_FILE_NAMES); ++index)
            if (std::strcmp(entry->d_name, RECORD_FILE_NAMES[index]) == 0) {
                result.listed |= 1u << index;
                if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
                    result.plain |= 1u << index;
            }
    ::closedir(listing);
    return result;
}

unsigned record_file_bit(const char* file)
{
    for (unsigned index = 0; index < std::size(RECORD_FILE_NAMES); ++index)
        if (std::strcmp(file, RECORD_FILE_NAMES[index]) == 0)
            return 1u << index;
    return 0;
}

}  // namespace

unsigned read_record(installed_package& record, const std::string& name, bool with_file_list)
{
    record.name = name;
    std::string directory = record_directory(record);
    record_listing listing = listed_record_files(directory);
    auto has = [&listing](const char* file) { return (listing.listed & record_file_bit(file)) != 0; };
    // A listed name may still be a dangling link: stat decides then, as it always has.
    auto exists_there = [&](const char* file) {
        return has(file) && ((listing.plain & record_file_bit(file)) != 0 || exists(directory + file));
    };
    unsigned damage = 0;

    std::ifstream version_file;
    if (has("version"))
        version_file.open(directory + "version");
    if (!(version_file >> record.version >> record.build_time))
        damage |= DAMAGE_VERSION;
    if (has("deps") && !read_entries(directory + "deps", record.dependencies, false))
        damage |= DAMAGE_DEPS;
    if (has("provides") && !read_entries(directory + "provides", record.provides, true))
        damage |= DAMAGE_PROVIDES;
    if (has("conflicts") && !read_entries(directory + "conflicts", record.conflicts, false))
        damage |= DAMAGE_CONFLICTS;
    if (damage != 0)
        record.action = ACTION_UNINSTALL;

    record.is_bundle = !exists_there("files");
    if (!record.is_bundle && with_file_list) {
        // A list of known size is given its room at once; one more byte a line is the "/" the
        // stored lines leave out.
        struct stat status;
        if (::stat((directory + "files").c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            auto bytes = static_cast<std::size_t>(status.st_size);
            record.files.reserve(bytes / 24, bytes + bytes / 16);
        }
        for_each_listed_file(record, [&record](std::string_view path) {
            record.files.insert(path);
            return true;
        });
        record.files.shrink_to_fit();
    }

    std::string bundle_name;
    if (has("bundle") && std::ifstream(directory + "bundle") >> bundle_name) {
        record.bundle.name = bundle_name;
        record.bundle.minimum = 0;
        record.bundle.maximum = 0;
    }
    record.disabled = exists_there("disabled");
    // A known word overrides the uninstall that damage asked for.
    if (has("schedule"))
        if (std::int32_t action = scheduled_action_in(directory + "schedule"); action != ACTION_NONE)
            record.action = action;
    return damage;
}

std::int32_t scheduled_action_in(const std::string& schedule_path)
{
    std::ifstream file(schedule_path);
    std::string word;
    if (!(file >> word))
        return ACTION_NONE;
    if (word == "uninstall")
        return ACTION_UNINSTALL;
    if (word == "enable")
        return ACTION_ENABLE;
    if (word == "disable")
        return ACTION_DISABLE;
    return ACTION_NONE;
}

void read_schedule(installed_package& record)
{
    std::string path = record_directory(record) + "schedule";
    if (std::int32_t action = scheduled_action_in(path); action != ACTION_NONE)
        record.action = action;
    // The request stays on disk until it has been carried out or refused: a power cut in between
    // must not lose it.
}

void consume_schedules(const run_context& context)
{
    for (const auto& record : context.installed)
        if (!record->name.empty())
            ::unlink((record_directory(*record) + "schedule").c_str());
}
