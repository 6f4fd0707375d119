#pragma once

#include <string>
#include <vector>

#include "tools/floppyset/set_layout.h"

// Concatenates the package files into one stream and writes it as the parts
// OUTPUT_DIR/kestrova.nNN of one set. The paths written are appended to `parts`. Reports its own
// failures on standard error.
bool write_floppy_set(const set_layout& layout, const std::vector<std::string>& packages,
                      const std::string& output_dir, std::vector<std::string>& parts);

// "kestrova.n%2.2u": the name a part carries on its floppy.
std::string part_file_name(unsigned index);
