#include "installer/query/query_options.h"

const char* const QUERY_HELP_TEXT =
    "usage: installer-query [-r ROOT] [-t] COMMAND [ARGUMENT...]\n"
    "Answers questions about the installed packages; changes nothing.\n"
    "\n"
    "commands:\n"
    "  list            one line per installed package: name, version, type, state,\n"
    "                  bundle, pending request\n"
    "  files NAME      the files of a package and where each is now\n"
    "  owner PATH...   the package owning each path (status 1 if one is not owned)\n"
    "  verify [NAME...]\n"
    "                  checks that the files of the named (or all) packages are where\n"
    "                  their state puts them; one line per problem, status 1 if any\n"
    "\n"
    "options:\n"
    "  -r ROOT         query the system installed below ROOT\n"
    "  -t              tab-separated fields without header or summary, for scripts\n"
    "  --help          this text\n"
    "  --version       the version of installer-query\n"
    "\n"
    "status: 0 all well, 1 a package or owner not found or a problem found, 2 usage error\n";

namespace {

bool arguments_fit(const query_options& options, std::string& error)
{
    const std::string& command = options.command;
    std::size_t count = options.arguments.size();
    if (command == "list" && count == 0)
        return true;
    if (command == "files" && count == 1)
        return true;
    if (command == "owner" && count >= 1) {
        for (const std::string& path : options.arguments)
            if (path.empty() || path[0] != '/') {
                error = "not an absolute path: " + path;
                return false;
            }
        return true;
    }
    if (command == "verify")
        return true;
    if (command != "list" && command != "files" && command != "owner")
        error = "unknown command: " + command;
    else
        error = "wrong number of arguments for " + command;
    return false;
}

}  // namespace

bool parse_query_options(int argc, char** argv, query_options& options, std::string& error)
{
    int index = 1;
    for (; index < argc && options.command.empty(); ++index) {
        std::string argument = argv[index];
        if (argument == "--help") {
            options.help = true;
            return true;
        }
        if (argument == "--version") {
            options.version = true;
            return true;
        }
        if (argument == "-r") {
            if (index + 1 >= argc) {
                error = "-r needs a directory";
                return false;
            }
            options.root = argv[++index];
        } else if (argument == "-t") {
            options.tab_separated = true;
        } else if (!argument.empty() && argument[0] == '-') {
            error = "unknown option: " + argument;
            return false;
        } else {
            options.command = argument;
        }
    }
    if (options.command.empty()) {
        error = "no command given";
        return false;
    }
    for (; index < argc; ++index)
        options.arguments.emplace_back(argv[index]);
    return arguments_fit(options, error);
}
