#pragma once
#include <istream>

#include "installer/apply/install_stream.h"

// Installs the package or bundle file arriving on the stream.
install_result install_from_stream(run_context& context, std::istream& stream, unsigned flags,
                                   const previous_states& previous);
