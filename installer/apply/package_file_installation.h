#pragma once
#include <istream>

#include "installer/apply/single_installation.h"

// Installs the package or bundle file arriving on the stream.
install_result install_package_file(run_context& context, std::istream& stream, unsigned flags,
                                   const previous_states& previous);
