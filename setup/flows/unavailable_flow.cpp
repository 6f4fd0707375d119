#include "setup/flows/unavailable_flow.h"

#include <cstdio>

bool report_unavailable_flow(const char* installation_type)
{
    std::printf("\nERROR: %s is not available in this build\n", installation_type);
    std::fflush(stdout);
    return false;
}
