#include "common/program_version.h"

#include <cstdio>

const char* const PROGRAM_VERSION = ROUTER_VERSION;

void print_program_version(const char* program)
{
    std::printf("%s %s\n", program, PROGRAM_VERSION);
    std::fflush(stdout);
}
