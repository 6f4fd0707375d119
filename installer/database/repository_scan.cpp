#include "installer/database/repository_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "installer/state/console.h"

namespace {

bool has_package_ending(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string ending = path.substr(path.size() - 4);
    return ending == ".vrp" || ending == ".dpk";
}

}  // namespace

bool is_regular_file(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

void scan_directory(run_context& context, const std::string& directory, repository_list& list)
{
    DIR* listing = opendir(directory.c_str());
    if (!listing)
        return;
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        std::string path = directory + name;
        if (!has_package_ending(path))
            continue;
        auto record = std::make_unique<repository_package>();
        // Opening a FIFO or a device would wait for a writer that never comes, at every start.
        if (is_regular_file(path) && read_file_summary(path, *record))
            list.push_back(std::move(record));
        else
            show_error(context, "broken package %s", name.c_str());
    }
    closedir(listing);
}

void scan_repositories(run_context& context, repository_list& list, bool recover)
{
    if (recover)
        scan_directory(context, RAM_DIRECTORY, list);
    scan_directory(context, REPOSITORY_DIRECTORY, list);
}

std::string staging_path(const std::string& directory, const std::string& path)
{
    std::string::size_type slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "/" + base;
}

bool copy_file(const std::string& source, const std::string& destination)
{
    owned_descriptor in(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid())
        return false;
    struct stat source_status, destination_status;
    if (fstat(in.get(), &source_status) != 0 || !S_ISREG(source_status.st_mode))
        return false;
    // Copying a file onto itself would truncate it before a byte is read.
    if (stat(destination.c_str(), &destination_status) == 0 &&
        source_status.st_dev == destination_status.st_dev && source_status.st_ino == destination_status.st_ino)
        return false;
    owned_descriptor out(open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!out.valid())
        return false;
    bool ok = true;
    char buffer[65536];
    for (;;) {
        ssize_t got = read_fully(in.get(), buffer, sizeof buffer);
        if (got < 0 || !write_fully(out.get(), buffer, std::size_t(got))) {
            ok = false;
            break;
        }
        if (std::size_t(got) < sizeof buffer)
            break;
    }
    in.reset();
    if (!out.close_checked())
        ok = false;
    if (!ok)
        unlink(destination.c_str());
    return ok;
}

bool move_file(const std::string& source, const std::string& destination)
{
    if (!copy_file(source, destination))
        return false;
    unlink(source.c_str());
    return true;
}
