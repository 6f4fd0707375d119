#include "installer/package/canonical_path.h"

std::string canonical_path(const std::string& path)
{
    std::string canonical;
    canonical.reserve(path.size() + 1);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::size_t length = end - start;
        if (length != 0 && !(length == 1 && path[start] == '.')) {
            canonical += '/';
            canonical.append(path, start, length);
        }
        start = end + 1;
    }
    return canonical.empty() ? "/" : canonical;
}

bool is_within(const std::string& path, const std::string& directory)
{
    if (directory == "/")
        return true;
    return path.compare(0, directory.size(), directory) == 0 &&
           (path.size() == directory.size() || path[directory.size()] == '/');
}

bool is_canonical(std::string_view path)
{
    if (path.empty() || path[0] != '/')
        return false;
    if (path.size() == 1)
        return true;
    if (path.back() == '/')
        return false;
    for (std::size_t slash = 0; slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::size_t next = slash + 1;
        if (next == path.size() || path[next] == '/')
            return false;
        if (path[next] == '.' && (next + 1 == path.size() || path[next + 1] == '/'))
            return false;
    }
    return true;
}
