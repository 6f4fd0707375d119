#include "installer/apply/package_directories.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string parent_directory(const std::string& path)
{
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    std::size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos)
        return ".";
    while (slash > 0 && path[slash - 1] == '/')
        --slash;
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool make_directories(const std::string& path)
{
    std::vector<std::string> missing;
    for (std::string current = path; current != "/" && current != "." && !current.empty();
         current = parent_directory(current))
        missing.push_back(current);
    for (auto directory = missing.rbegin(); directory != missing.rend(); ++directory)
        if (mkdir(directory->c_str(), INSTALLER_DIRECTORY_MODE) != 0 && errno != EEXIST)
            return false;
    return true;
}

void remove_empty_directories(const std::string& path)
{
    for (std::string current = path; current != "/" && current != "." && !current.empty();
         current = parent_directory(current))
        if (rmdir(current.c_str()) != 0)
            return;
}

namespace {

void prune_below(const std::string& path)
{
    DIR* listing = opendir(path.c_str());
    if (!listing)
        return;
    std::vector<std::string> subdirectories;
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status;
        std::string child = path + "/" + name;
        if (lstat(child.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            subdirectories.push_back(child);
    }
    closedir(listing);
    for (const std::string& child : subdirectories) {
        prune_below(child);
        rmdir(child.c_str());
    }
}

}  // namespace

void prune_empty_directories(const std::string& path)
{
    prune_below(path);
    remove_empty_directories(path);
}
