#pragma once
#include <string>
#include <vector>

// What the command line of installer-query asks for. Filled by parse_query_options, read by
// run_query; the strings are copies of the arguments.
struct query_options {
    std::string root;                    // -r ROOT; empty: this machine
    bool tab_separated = false;          // -t: tab-separated fields, no header or summary
    bool help = false;                   // --help
    bool version = false;                // --version
    std::string command;                 // list, files, owner, verify
    std::vector<std::string> arguments;  // what follows the command
};

// False (with the reason in error) for anything not understood: an unknown option or command, or
// arguments that do not fit the command.
bool parse_query_options(int argc, char** argv, query_options& options, std::string& error);

extern const char* const QUERY_HELP_TEXT;
