#pragma once

// The version of this project, shared by all its programs.
extern const char* const PROGRAM_VERSION;

// The answer to --version on standard output: "PROGRAM VERSION" on one line.
void print_program_version(const char* program);
