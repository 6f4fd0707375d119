#include "installer/query/file_presence.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {

// A listing costs about as much per entry as a few bytes of it; beyond this size a directory is
// more than the paths asked of it are worth.
constexpr off_t LARGEST_LISTED_DIRECTORY = 64 * 1024;

bool lstat_finds(const std::string& path)
{
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
}

}  // namespace

bool file_presence::listed(const std::string& directory)
{
    DIR* stream = ::opendir(directory.empty() ? "/" : directory.c_str());
    if (stream == nullptr)
        return false;
    struct stat status;
    if (::fstat(::dirfd(stream), &status) != 0 || status.st_size > LARGEST_LISTED_DIRECTORY) {
        ::closedir(stream);
        return false;
    }
    text_.clear();
    std::vector<std::size_t> starts;
    while (const dirent* entry = ::readdir(stream)) {
        starts.push_back(text_.size());
        text_ += entry->d_name;
        text_ += '\0';
    }
    ::closedir(stream);
    names_.clear();
    for (std::size_t start : starts)
        names_.emplace_back(text_.data() + start);
    std::sort(names_.begin(), names_.end());
    return true;
}

bool file_presence::exists(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return lstat_finds(path);
    std::string_view directory(path.data(), slash);
    std::string_view name(path.data() + slash + 1, path.size() - slash - 1);
    if (name.empty() || name == "." || name == "..")
        return lstat_finds(path);
    if (directory != last_directory_) {
        last_directory_.assign(directory);
        last_listing_ = listing::untried;
        return lstat_finds(path);
    }
    if (last_listing_ == listing::untried)
        last_listing_ = listed(last_directory_) ? listing::read : listing::refused;
    if (last_listing_ == listing::refused)
        return lstat_finds(path);
    return std::binary_search(names_.begin(), names_.end(), name);
}
