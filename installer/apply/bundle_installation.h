#pragma once

#include "installer/apply/single_installation.h"

// Installs the bundle whose PART_BUNDLE the reader stands on: its record, then each member it
// carries; members it had before and carries no more are uninstalled.
install_result install_bundle(run_context& context, part_reader& reader, unsigned flags,
                              const previous_states& previous);
