#include "installer/apply/file_relocation.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/apply/landing_guard.h"
#include "installer/apply/package_directories.h"
#include "installer/apply/path_safety.h"
#include "installer/state/console.h"

namespace {

// The live place of a recorded path, whichever side it is recorded on.
std::string live_path(std::string_view path, const std::string& prefix)
{
    if (path.size() > prefix.size() && path.starts_with(prefix) && path[prefix.size()] == '/')
        return std::string(path.substr(prefix.size()));
    return std::string(path);
}

bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool relocation_is_safe(run_context& context, const installed_package& package, const std::string& prefix,
                        bool enable, const char* word)
{
    landing_guard guard;
    std::string last_area_directory;
    std::string last_live_directory;
    for (std::string_view path : package.files) {
        std::string live = live_path(path, prefix);
        std::string area_directory = parent_directory(prefix + live);
        if (area_directory != last_area_directory) {
            last_area_directory = area_directory;
            if (directory_path_fault(area_directory, false) != 0) {
                show_error(context, "can not %s %s: %s leads out of %s", word, package.label().c_str(),
                           area_directory.c_str(), prefix.c_str());
                return false;
            }
        }
        std::string live_directory = parent_directory(live);
        if (!enable || live_directory == last_live_directory)
            continue;
        last_live_directory = live_directory;
        std::string resolved;
        if (guard.resolve_directory(live_directory, resolved) && !guard.may_land(resolved)) {
            show_error(context, "can not %s %s: %s leads into %s", word, package.label().c_str(),
                       live_directory.c_str(), resolved.c_str());
            return false;
        }
    }
    return true;
}

void relocate_files(run_context& context, installed_package& package, const std::string& prefix, bool enable)
{
    file_set moved;
    std::string last_new_directory;
    std::string last_old_directory;
    for (std::string_view path : package.files) {
        std::string live = live_path(path, prefix);
        std::string area_path = prefix + live;
        const std::string& old_path = enable ? area_path : live;
        const std::string& new_path = enable ? live : area_path;
        if (enable) {
            std::string old_directory = parent_directory(old_path);
            if (old_directory != last_old_directory) {
                if (!last_old_directory.empty())
                    remove_empty_directories(last_old_directory);
                last_old_directory = old_directory;
            }
        }
        struct stat old_status, new_status;
        bool old_there = lstat(old_path.c_str(), &old_status) == 0;
        bool new_there = lstat(new_path.c_str(), &new_status) == 0;
        if (new_there && (!old_there || same_file(old_status, new_status))) {
            // Moved before a power cut, or linked but not yet unlinked there.
            if (old_there)
                unlink(old_path.c_str());
            moved.insert(new_path);
            continue;
        }
        std::string new_directory = parent_directory(new_path);
        if (new_directory != last_new_directory) {
            make_directories(new_directory);
            last_new_directory = new_directory;
        }
        if (link(old_path.c_str(), new_path.c_str()) != 0) {
            show_warning(context, "link failed: %s", std::strerror(errno));
            moved.insert(old_there ? std::string_view(old_path) : path);
            continue;
        }
        unlink(old_path.c_str());
        moved.insert(new_path);
    }
    if (enable && !last_old_directory.empty())
        remove_empty_directories(last_old_directory);
    package.files = std::move(moved);
}
