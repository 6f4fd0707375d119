#include "installer/apply/path_safety.h"

#include <cerrno>
#include <sys/stat.h>

bool is_safe_package_name(const std::string& name)
{
    if (name.empty() || name[0] == '.')
        return false;
    for (unsigned char c : name)
        if (c == '/' || c <= ' ' || c == 0x7f)
            return false;
    return true;
}

bool has_recordable_lists(const package_header& package)
{
    for (const auto* list : {&package.dependencies, &package.provides, &package.conflicts})
        for (const dependency_entry& entry : *list) {
            if (entry.name.empty())
                return false;
            for (unsigned char c : entry.name)
                if (c <= ' ' || c == 0x7f)
                    return false;
        }
    return true;
}

bool is_safe_record_path(const std::string& path)
{
    if (path.find('\0') != std::string::npos || path.find('\n') != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

int directory_path_fault(const std::string& path, bool must_exist)
{
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        struct stat status;
        std::string prefix = path.substr(0, end);
        if (lstat(prefix.c_str(), &status) != 0)
            return errno == ENOENT && !must_exist ? 0 : errno;
        if (S_ISLNK(status.st_mode))
            return ELOOP;
        if (!S_ISDIR(status.st_mode))
            return ENOTDIR;
        if (end == std::string::npos)
            return 0;
    }
}
