#include "installer/apply/file_relocation.h"

#include <cerrno>
#include <cstring>
#include <set>
#include <unistd.h>

#include "installer/apply/package_directories.h"
#include "installer/state/console.h"

void relocate_files(run_context& context, installed_package& package, const std::string& prefix, bool enable)
{
    std::set<std::string> moved;
    std::string last_new_directory;
    std::string last_old_directory;
    const std::string area = prefix + "/";
    for (const std::string& old_path : package.files) {
        if (enable && old_path.compare(0, area.size(), area) != 0) {
            // Only a damaged database holds such a path; it is not ours to move.
            moved.insert(old_path);
            continue;
        }
        std::string new_path = enable ? old_path.substr(prefix.size()) : prefix + old_path;
        std::string new_directory = parent_directory(new_path);
        if (new_directory != last_new_directory) {
            make_directories(new_directory);
            last_new_directory = new_directory;
        }
        if (enable) {
            std::string old_directory = parent_directory(old_path);
            if (old_directory != last_old_directory) {
                if (!last_old_directory.empty())
                    remove_empty_directories(last_old_directory);
                last_old_directory = old_directory;
            }
        }
        if (link(old_path.c_str(), new_path.c_str()) != 0) {
            show_warning(context, "link failed: %s", std::strerror(errno));
            moved.insert(old_path);
            continue;
        }
        unlink(old_path.c_str());
        moved.insert(new_path);
    }
    if (enable && !last_old_directory.empty())
        remove_empty_directories(last_old_directory);
    package.files = std::move(moved);
}
