#include "installer/database/garbage_collection.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "installer/database/file_owner_index.h"
#include "installer/database/package_database.h"
#include "installer/state/console.h"

std::optional<std::string> normalize_directory(const std::string& directory)
{
    if (directory.empty() || directory[0] != '/')
        return std::nullopt;
    std::vector<std::string> components;
    std::size_t position = 0;
    while (position < directory.size()) {
        std::size_t end = directory.find('/', position);
        if (end == std::string::npos)
            end = directory.size();
        std::string component = directory.substr(position, end - position);
        position = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            if (!components.empty())
                components.pop_back();
            continue;
        }
        components.push_back(std::move(component));
    }
    std::string normalized;
    for (const std::string& component : components)
        normalized += "/" + component;
    return normalized.empty() ? "/" : normalized;
}

namespace {

const std::string DATABASE_PATH = std::string(DATABASE_DIRECTORY, std::strlen(DATABASE_DIRECTORY) - 1);

bool any_package_installed(const run_context& context)
{
    for (const auto& package : context.installed)
        if (!package->is_bundle)
            return true;
    return false;
}

// The database directory by what it is, not by name: reached through a link under another name
// it must still never be entered.
struct directory_identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;

    bool is(const struct stat& status) const
    {
        return known && status.st_dev == device && status.st_ino == inode;
    }
};

directory_identity database_identity()
{
    directory_identity identity;
    struct stat status;
    if (::stat(DATABASE_PATH.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        identity = {status.st_dev, status.st_ino, true};
    return identity;
}

// The directory is the database or lies below it, whatever names lead there.
bool inside_database(const directory_identity& database, const std::string& directory)
{
    for (std::size_t end = directory.find('/', 1);; end = directory.find('/', end + 1)) {
        struct stat status;
        if (::stat(directory.substr(0, end).c_str(), &status) == 0 && database.is(status))
            return true;
        if (end == std::string::npos)
            return false;
    }
}

// path holds the directory's name without a trailing "/" ("" for the root); the entries are
// appended to it in place and cut off again.
void collect_below(const file_owner_index& owners, const directory_identity& database, std::string& path)
{
    DIR* directory = ::opendir(path.empty() ? "/" : path.c_str());
    if (directory == nullptr)
        return;
    std::size_t length = path.size();
    while (const dirent* entry = ::readdir(directory)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        path.resize(length);
        path += '/';
        path += name;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat status;
            if (::lstat(path.c_str(), &status) != 0)
                continue;
            type = S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
        }
        // A link to a directory is a link: it is collected, never followed. The database's own
        // files belong to no package, yet losing them would make every package forgotten.
        if (type != DT_DIR) {
            if (owners.owner_of(path).empty())
                ::unlink(path.c_str());
        } else {
            struct stat status;
            if (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && !database.is(status))
                collect_below(owners, database, path);
        }
    }
    path.resize(length);
    ::closedir(directory);
}

}  // namespace

void collect_garbage(run_context& context, const std::string& directory)
{
    // With no package known every file would look unowned; an empty or unreadable database
    // must not wipe the disk.
    if (!any_package_installed(context)) {
        show_warning(context, "no package is installed, not collecting files below %s", directory.c_str());
        return;
    }
    std::optional<std::string> normalized = normalize_directory(directory);
    if (!normalized) {
        show_warning(context, "not collecting files below %s: not an absolute path", directory.c_str());
        return;
    }
    if (*normalized == DATABASE_PATH || normalized->starts_with(DATABASE_PATH + "/")) {
        show_warning(context, "not collecting files below %s: it holds the package database", directory.c_str());
        return;
    }
    // The paths compared with the file sets are built from the name given; through a symbolic
    // link they would name other files than the ones removed, and owned files would go.
    char resolved[PATH_MAX];
    if (::realpath(normalized->c_str(), resolved) != nullptr && *normalized != resolved) {
        show_warning(context, "not collecting files below %s: it is reached through a symbolic link",
                     directory.c_str());
        return;
    }
    directory_identity database = database_identity();
    if (*normalized != "/" && inside_database(database, *normalized)) {
        show_warning(context, "not collecting files below %s: it holds the package database", directory.c_str());
        return;
    }
    file_owner_index owners(context);
    std::string path = *normalized == "/" ? std::string() : *normalized;
    collect_below(owners, database, path);
}
