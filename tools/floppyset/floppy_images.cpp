#include "tools/floppyset/floppy_images.h"

#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "common/child_wait.h"

namespace {

// The tools live in /sbin or /usr/sbin, which a builder's search path may leave out.
bool run_tool(const char* const* arguments)
{
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0)
            dup2(quiet, 1);
        std::string path = std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
        setenv("PATH", path.c_str(), 1);
        setenv("MTOOLS_SKIP_CHECK", "1", 1);
        execvp(arguments[0], const_cast<char* const*>(arguments));
        std::fprintf(stderr, "floppyset: can't run %s\n", arguments[0]);
        _exit(127);
    }
    int status = wait_for_child(child);
    return status == 0;
}

}  // namespace

bool make_floppy_image(const std::string& image, const std::string& part)
{
    unlink(image.c_str());
    const char* format[] = {"mkfs.fat", "-C", image.c_str(), "1440", nullptr};
    if (!run_tool(format)) {
        std::cerr << "floppyset: mkfs.fat could not make " << image << "\n";
        return false;
    }
    if (part.empty())
        return true;
    std::string base = part.substr(part.find_last_of('/') + 1);
    std::string target = "::" + base;
    const char* copy[] = {"mcopy", "-i", image.c_str(), part.c_str(), target.c_str(), nullptr};
    if (!run_tool(copy)) {
        std::cerr << "floppyset: mcopy could not put " << part << " on " << image << "\n";
        return false;
    }
    return true;
}
