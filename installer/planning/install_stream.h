#pragma once
#include <istream>
#include <map>
#include <string>

#include "installer/frontend/run_context.h"

// Name of each package installed before a repository run, and whether it was disabled.
using previous_states = std::map<std::string, bool>;

// Installs the package or bundle file arriving on the stream; the result is the exit status.
int install_from_stream(run_context& context, std::istream& stream, unsigned flags, const previous_states& previous);
