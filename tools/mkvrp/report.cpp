#include "tools/mkvrp/report.h"

#include <cstdio>

namespace {
bool reports_silenced = false;
}

void report_error(const std::string& message)
{
    if (!reports_silenced)
        std::fprintf(stderr, "mkvrp: %s\n", message.c_str());
}

void silence_reports(bool silent)
{
    reports_silenced = silent;
}
