#pragma once
#include <string>
#include <vector>

constexpr const char* USAGE_TEXT = "usage: installer [-q] [--filegc] [-r <root>] [-]";

// Follows the usage text in the answer to --help.
extern const char* const OPTIONS_TEXT;

struct command_line_options {
    bool file_gc = false;
    bool from_stdin = false;
    bool quiet = false;
    unsigned flags = 0;
    std::string root;
    std::string package_file;
    std::vector<std::string> gc_directories;
};

enum class parse_result {
    run,
    usage,    // the usage text is to be printed and nothing else done
    help,     // --help: the usage text and what the options do
    version,  // --version
};

// Parses the arguments; "--recover" prints its cursor-hiding "installing" line as it is met.
parse_result parse_command_line(int argc, char** argv, command_line_options& options);
