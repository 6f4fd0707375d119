#pragma once
#include <cstdint>
#include <string>

// A packed version: major (bits 31-24), minor (23-16), stage letter (15-8), build (7-0).
// Packed versions order as plain unsigned numbers.
using version_number = std::uint32_t;

constexpr version_number make_version(unsigned major, unsigned minor, char stage, unsigned build)
{
    return (version_number(major & 0xff) << 24) | (version_number(minor & 0xff) << 16) |
           (version_number(static_cast<unsigned char>(stage)) << 8) | version_number(build & 0xff);
}

// Display form ("2.9.3", "3.0rc5"). The text lives in one shared static buffer that the next
// call overwrites; copy it before formatting another version.
const char* version_text(version_number version);

// The display form back into the packed one: "2.9.3", "3.0", "3.0rc5", "3.0alpha2", "3.0beta".
// False on anything else, a number above 255 included.
bool parse_version_text(const std::string& text, version_number& version);

std::string package_label(const std::string& name, version_number version);
// The bundle's name alone when the version is 0.
std::string bundle_label(const std::string& name, version_number version);

int compare_versions(version_number a, version_number b);
