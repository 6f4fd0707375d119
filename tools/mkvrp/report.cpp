#include "tools/mkvrp/report.h"

#include <cstdio>

void report_error(const std::string& message)
{
    std::fprintf(stderr, "mkvrp: %s\n", message.c_str());
}
