#include "installer/apply/package_directories.h"

#include <cerrno>
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
