#include "installer/query/run_query.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "common/program_version.h"
#include "installer/query/files_command.h"
#include "installer/query/list_command.h"
#include "installer/query/owner_command.h"
#include "installer/query/query_options.h"
#include "installer/query/verify_command.h"

int run_query(int argc, char** argv)
{
    query_options options;
    std::string error;
    if (!parse_query_options(argc, argv, options, error)) {
        std::fprintf(stderr, "installer-query: %s\n%s", error.c_str(), QUERY_HELP_TEXT);
        return 2;
    }
    if (options.help) {
        std::fputs(QUERY_HELP_TEXT, stdout);
        return 0;
    }
    if (options.version) {
        print_program_version("installer-query");
        return 0;
    }
    // Answering from this machine's database when another was asked for would be a wrong answer
    // that looks right.
    if (!options.root.empty() && ::chroot(options.root.c_str()) != 0) {
        std::fprintf(stderr, "installer-query: cannot change root to %s: %s\n", options.root.c_str(),
                     std::strerror(errno));
        return 2;
    }
    if (::chdir("/") != 0) {
        std::fprintf(stderr, "installer-query: cannot change to /: %s\n", std::strerror(errno));
        return 2;
    }
    if (options.command == "list")
        return run_list_command(options);
    if (options.command == "files")
        return run_files_command(options);
    if (options.command == "owner")
        return run_owner_command(options);
    return run_verify_command(options);
}
