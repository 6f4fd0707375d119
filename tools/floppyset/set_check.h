#pragma once

#include <string>
#include <vector>

// Reads every part back in the order given, checks that they form one set in order and that every
// group verifies (or can be mended by its parity), and prints one line per part. The payloads are
// appended to `stream`. False when any part is bad; the reason is printed on standard error.
bool check_floppy_set(const std::vector<std::string>& parts, std::string& stream);
