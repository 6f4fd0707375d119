#pragma once

// The whole of installer-query: parses the arguments, changes root for -r and runs one command.
// Returns the exit status.
int run_query(int argc, char** argv);
