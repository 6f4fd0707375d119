#include "installer/apply/file_removal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/database/files_in_use.h"
#include "installer/state/console.h"

namespace {
unsigned temporary_counter = 0;
}

std::string temporary_name()
{
    char name[32];
    struct stat existing;
    do
        std::snprintf(name, sizeof name, "/tmp/inst%u", ++temporary_counter);
    while (stat(name, &existing) == 0);
    return name;
}

void remove_files(run_context& context, installed_package& package)
{
    for (std::string_view path : package.files) {
        // The set's paths end in a NUL: they go to the system as they are.
        if (is_in_use(context, path) && link(path.data(), temporary_name().c_str()) != 0)
            show_warning(context, "link failed: %s", std::strerror(errno));
        unlink(path.data());
    }
    package.files.clear();
}
