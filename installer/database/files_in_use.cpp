#include "installer/database/files_in_use.h"

#include <cctype>
#include <climits>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/state/console.h"

namespace {

bool below_proc(const std::string& path)
{
    return path.compare(0, 5, "/proc") == 0;
}

// One field of a maps line: the text up to the next blank.
bool next_field(const std::string& line, std::size_t& position, std::string_view& field)
{
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t'))
        ++position;
    std::size_t start = position;
    while (position < line.size() && line[position] != ' ' && line[position] != '\t')
        ++position;
    field = std::string_view(line).substr(start, position - start);
    return !field.empty();
}

// A maps line holds address range, permissions, offset, device, inode and, for a mapped file,
// its path; only the mapped files with a real inode count.
void read_mapped_files(run_context& context, const std::string& pid)
{
    std::ifstream maps("/proc/" + pid + "/maps");
    if (!maps)
        return;
    std::string line;
    while (std::getline(maps, line)) {
        std::size_t position = 0;
        std::string_view field;
        bool complete = true;
        for (int skipped = 0; skipped < 4 && complete; ++skipped)
            complete = next_field(line, position, field);
        if (!complete || !next_field(line, position, field))
            continue;
        bool inode_is_number = field.find_first_not_of("0123456789") == std::string_view::npos;
        if (!inode_is_number || field.find_first_not_of('0') == std::string_view::npos)
            continue;
        if (!next_field(line, position, field))
            continue;
        std::string path(field);
        if (!below_proc(path))
            context.files_in_use.insert(std::move(path));
    }
}

void read_open_files(run_context& context, const std::string& pid)
{
    std::string directory_path = "/proc/" + pid + "/fd";
    DIR* directory = ::opendir(directory_path.c_str());
    if (directory == nullptr)
        return;
    char target[PATH_MAX];
    while (const dirent* entry = ::readdir(directory)) {
        std::string link_path = directory_path + "/" + entry->d_name;
        ssize_t length = ::readlink(link_path.c_str(), target, sizeof target);
        // A target that fills the buffer may be cut short; it would name some other file.
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
            continue;
        std::string path(target, static_cast<std::size_t>(length));
        // Sockets, pipes and deleted files have targets that do not exist.
        struct stat status;
        if (::lstat(path.c_str(), &status) != 0 || S_ISLNK(status.st_mode))
            continue;
        if (!below_proc(path))
            context.files_in_use.insert(std::move(path));
    }
    ::closedir(directory);
}

}  // namespace

void scan_files_in_use(run_context& context)
{
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        show_warning(context, "could not open /proc");
        return;
    }
    while (const dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        std::string pid = entry->d_name;
        read_mapped_files(context, pid);
        read_open_files(context, pid);
    }
    ::closedir(proc);
}

bool is_in_use(const run_context& context, std::string_view path)
{
    return context.files_in_use.count(path) != 0;
}
