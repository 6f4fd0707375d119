#include "installer/frontend/run_installer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include "common/program_version.h"
#include "installer/apply/change_application.h"
#include "installer/apply/interrupted_operations.h"
#include "installer/apply/package_file_installation.h"
#include "installer/apply/postlog.h"
#include "installer/apply/repository_run.h"
#include "installer/database/files_in_use.h"
#include "installer/database/garbage_collection.h"
#include "installer/database/package_database.h"
#include "installer/frontend/command_line.h"
#include "installer/frontend/stdin_stream.h"
#include "installer/planning/change_plan.h"
#include "installer/state/console.h"

namespace {

int install_one_stream(run_context& context, const command_line_options& options)
{
    previous_states previous;
    unsigned flags = options.flags | FLAG_UPGRADE;
    if (options.from_stdin) {
        fd_input_buffer input_buffer(STDIN_FILENO);
        std::istream input(&input_buffer);
        return install_package_file(context, input, flags, previous);
    }
    std::ifstream file(options.package_file, std::ios::binary);
    if (!file)
        return 1;
    return install_package_file(context, file, flags, previous);
}

}  // namespace

int run_installer(int argc, char** argv)
{
    run_context& context = get_run_context();
    command_line_options options;
    switch (parse_command_line(argc, argv, options)) {
    case parse_result::usage:
        std::fprintf(context.console, "%s\n", USAGE_TEXT);
        std::fflush(context.console);
        return 0;
    case parse_result::help:
        std::fprintf(context.console, "%s\n%s", USAGE_TEXT, OPTIONS_TEXT);
        std::fflush(context.console);
        return 0;
    case parse_result::version:
        print_program_version("installer");
        return 0;
    case parse_result::run:
        break;
    }
    // Going on in the caller's "/" would install into, or collect files of, the wrong system.
    if (!options.root.empty() && chroot(options.root.c_str()) != 0) {
        int error = errno;
        context.quiet = options.quiet;
        show_error(context, "can not change root to %s: %s", options.root.c_str(), std::strerror(error));
        return 1;
    }
    if (chdir("/") != 0)
        std::perror("chdir");

    load_database(context, options.quiet);
    finish_interrupted_operations(context);
    if (options.file_gc) {
        for (const std::string& directory : options.gc_directories)
            collect_garbage(context, directory);
        return 0;
    }

    scan_files_in_use(context);
    apply_changes(context, REPORT_CHANGES);
    // Every request has now been carried out or refused.
    consume_schedules(context);
    int status = 0;
    if (options.from_stdin || !options.package_file.empty())
        status = install_one_stream(context, options);
    else
        process_repository(context, options.flags | FLAG_UPGRADE);
    write_postlog(context);
    return status;
}
