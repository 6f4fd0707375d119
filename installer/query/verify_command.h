#pragma once
#include "installer/query/query_options.h"

// The exit status: 0 all well, 1 otherwise (see the help text).
int run_verify_command(const query_options& options);
