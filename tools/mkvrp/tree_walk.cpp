#include "tools/mkvrp/tree_walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <vector>

#include "tools/mkvrp/report.h"

namespace {

bool read_folder_names(const std::string& folder, std::vector<std::string>& names)
{
    std::unique_ptr<DIR, int (*)(DIR*)> handle(opendir(folder.c_str()), closedir);
    if (!handle) {
        report_error("cannot read folder " + folder + ": " + std::strerror(errno));
        return false;
    }
    errno = 0;
    while (dirent* entry = readdir(handle.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    if (errno != 0) {
        report_error("cannot read folder " + folder + ": " + std::strerror(errno));
        return false;
    }
    std::sort(names.begin(), names.end());
    return true;
}

bool walk_folder(const std::string& folder, const std::string& package_folder,
                 const std::function<bool(const tree_entry&)>& visit)
{
    std::vector<std::string> names;
    if (!read_folder_names(folder, names))
        return false;
    for (const auto& name : names) {
        tree_entry entry;
        entry.full_path = folder + "/" + name;
        entry.package_path = package_folder + "/" + name;
        if (lstat(entry.full_path.c_str(), &entry.status) != 0) {
            report_error("cannot examine " + entry.full_path + ": " + std::strerror(errno));
            return false;
        }
        if (!visit(entry))
            return false;
        if (S_ISDIR(entry.status.st_mode) && !walk_folder(entry.full_path, entry.package_path, visit))
            return false;
    }
    return true;
}

}  // namespace

bool walk_tree(const std::string& root, const std::function<bool(const tree_entry&)>& visit)
{
    struct stat status;
    if (stat(root.c_str(), &status) != 0) {
        report_error("cannot read tree " + root + ": " + std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        report_error("tree " + root + " is not a folder");
        return false;
    }
    std::string folder = root;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return walk_folder(folder, "", visit);
}
