#include "installer/apply/package_scripts.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/child_wait.h"
#include "common/file_descriptor.h"
#include "common/part_reader.h"
#include "installer/database/package_database.h"
#include "installer/state/console.h"

namespace {

constexpr std::size_t SCRIPT_CHUNK_SIZE = 4096;

// The caller names the failure once more from errno, so the report must leave it as it was.
script_write create_failed(run_context& context, const installed_package& package, const std::string& script_name)
{
    int error = errno;
    report_create_failure(context, package, script_name);
    errno = error;
    return script_write::create_failed;
}

}  // namespace

int run_shell_command(const std::string& command)
{
    std::fflush(nullptr);  // the child must not repeat what is still buffered
    pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        // A script's output goes nowhere, so nothing it reads could answer a question it asked;
        // and standard input may be the pipe the package arrives on, whose rest a reading script
        // would take from the members still to come.
        int nothing = open("/dev/null", O_RDONLY);
        if (nothing > 0) {
            dup2(nothing, STDIN_FILENO);
            close(nothing);
        }
        execl("/bin/bash", "bash", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return wait_for_child(child);
}

bool run_script(run_context& context, const installed_package& package, const std::string& script_name)
{
    std::string path = record_directory(package) + script_name;
    struct stat script;
    if (stat(path.c_str(), &script) != 0)
        return true;
    if (run_shell_command(path + " >/dev/null 2>&1") == 0)
        return true;
    show_warning(context, "package %s %s script failed", package.label().c_str(), script_name.c_str());
    return false;
}

script_write write_script(run_context& context, const installed_package& package, part_reader& reader, std::uint32_t length,
                  const std::string& script_name)
{
    // The part's length is the package's own claim: the script is copied in slices rather than
    // read whole, and a part that ends early removes what was stored of it.
    std::string path = record_directory(package) + script_name;
    owned_descriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid())
        return create_failed(context, package, script_name);
    bool written = write_fully(file.get(), SCRIPT_PROLOGUE, std::char_traits<char>::length(SCRIPT_PROLOGUE));
    char chunk[SCRIPT_CHUNK_SIZE];
    while (written && length > 0) {
        std::streamsize want = length < SCRIPT_CHUNK_SIZE ? std::streamsize(length) : std::streamsize(SCRIPT_CHUNK_SIZE);
        if (!reader.read(chunk, want)) {
            file.reset();
            unlink(path.c_str());
            report_broken_package(context, package);
            return script_write::broken_part;
        }
        written = write_fully(file.get(), chunk, std::size_t(want));
        length -= std::uint32_t(want);
    }
    int error = errno;
    if (!file.close_checked())
        written = false;
    else
        errno = error;
    if (!written || chmod(path.c_str(), SCRIPT_MODE) != 0)
        return create_failed(context, package, script_name);
    return script_write::stored;
}
