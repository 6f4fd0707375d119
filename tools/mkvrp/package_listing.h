#pragma once
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

// Prints the header parts of a package file in the manifest's own words, then its file records
// the way "tar -tv" does. Returns false (after saying why on standard error) when the file is
// not a well-formed package; what was listed before the fault stays printed.
bool list_package(std::istream& in, std::ostream& out, const std::string& source_name);

// "12,3" style text of a device number as Linux packs it into 32 bits.
std::string device_text(std::uint32_t device);
