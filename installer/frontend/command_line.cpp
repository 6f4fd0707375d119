#include "installer/frontend/command_line.h"

#include <cstdio>
#include <cstring>

#include "installer/state/run_context.h"

const char* const OPTIONS_TEXT =
    "Installs the package file PACKAGE.vrp, or one package read from standard input (-), or with\n"
    "neither processes the repository /var/pckg as the router's start does.\n"
    "\n"
    "  -q           print and log no messages\n"
    "  -r ROOT      work on the system below ROOT (change root into it first)\n"
    "  -            read one package from standard input; later arguments are ignored\n"
    "  -down        allow a package to be replaced by an older version\n"
    "  --recover    recovery run: reinstall the same version, also scan /ram\n"
    "  --filegc DIR...\n"
    "               remove the files below each DIR that no installed package owns\n"
    "  --help       this text\n"
    "  --version    the version of installer\n";

namespace {

bool names_package_file(const char* argument)
{
    std::size_t length = std::strlen(argument);
    return length >= 4 && std::strcmp(argument + length - 4, ".vrp") == 0;
}

}  // namespace

parse_result parse_command_line(int argc, char** argv, command_line_options& options)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--filegc") == 0) {
            options.file_gc = true;
            for (int j = i + 1; j < argc; ++j)
                options.gc_directories.emplace_back(argv[j]);
            break;
        }
        if (std::strcmp(argument, "-r") == 0 && i + 1 < argc) {
            options.root = argv[++i];
            continue;
        }
        if (std::strcmp(argument, "-") == 0) {
            options.from_stdin = true;
            break;
        }
        if (std::strcmp(argument, "--help") == 0)
            return parse_result::help;
        if (std::strcmp(argument, "--version") == 0)
            return parse_result::version;
        if (std::strcmp(argument, "-q") == 0) {
            options.quiet = true;
        } else if (std::strcmp(argument, "-down") == 0) {
            options.flags |= FLAG_DOWNGRADE;
        } else if (std::strcmp(argument, "--recover") == 0) {
            std::FILE* console = get_run_context().console;
            std::fputs("\x1b[?25l\r\x1b[Ainstalling", console);
            std::fflush(console);
            options.flags |= FLAG_RECOVER;
        } else if (std::strcmp(argument, "-b") == 0 || std::strcmp(argument, "--force") == 0 ||
                   std::strcmp(argument, "-i") == 0) {
            // accepted for compatibility with older start-up scripts
        } else if (names_package_file(argument) && options.package_file.empty()) {
            options.package_file = argument;
        } else {
            return parse_result::usage;
        }
    }
    return parse_result::run;
}
