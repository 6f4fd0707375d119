#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/version_number.h"

class part_reader;

// The header of a package or bundle as its file carries it: name, version and build time, the
// architecture, and the lists of what it needs, provides and conflicts with, each entry a name and
// a version range. A bundle's header owns the headers of the packages it contains. Readers fill
// these from the header parts; builders write them back with the writers below.

constexpr std::size_t NAME_FIELD_SIZE = 16;
constexpr std::size_t HEADER_RECORD_SIZE = 32;
constexpr std::size_t NAME_ENTRY_SIZE = 32;
// A name-list part counts its entries in 16 bits.
constexpr std::size_t MAX_NAME_LIST_ENTRIES = 0xffff;
// An architecture part longer than this is kept only up to it: no real name comes near, and a
// hostile file could otherwise make every reader hold gigabytes.
constexpr std::size_t MAX_ARCHITECTURE_TEXT = 4096;

struct dependency_entry {
    std::string name;
    version_number minimum = 0;  // 0: no lower bound
    version_number maximum = 0;  // 0: no upper bound
    std::int32_t extra = 0;      // ranks providers of one name

    bool operator==(const dependency_entry&) const = default;
};

class package_header {
public:
    package_header() = default;
    package_header(const package_header&) = delete;
    package_header& operator=(const package_header&) = delete;
    package_header(package_header&&) = default;
    package_header& operator=(package_header&&) = default;
    virtual ~package_header() = default;

    std::string name;
    version_number version = 0;
    std::uint32_t build_time = 0;
    std::string architecture = "i386";
    std::vector<dependency_entry> dependencies;
    std::vector<dependency_entry> provides;
    std::vector<dependency_entry> conflicts;
    bool is_bundle = false;
    std::vector<std::unique_ptr<package_header>> contained_packages;

    std::string label() const { return package_label(name, version); }
};

// Fills the record from the header part the reader stands on and the optional architecture,
// dependency, provides and conflicts parts behind it; the reader is left on the next part.
bool read_header(part_reader& reader, package_header& record);

// Appends the entries of the name-list part the reader stands on.
bool read_name_list(part_reader& reader, std::vector<dependency_entry>& entries);

// The text of a NUL-padded 16-byte name field.
std::string name_from_field(const unsigned char* field);

// The writing side, for package builders. The payload of a header part (a name longer than the
// field is cut to it):
void append_header_record(std::string& out, const std::string& name, version_number version,
                          std::uint32_t build_time);
// The payload of a name-list part; false when the list holds more than MAX_NAME_LIST_ENTRIES.
bool append_name_list(std::string& out, const std::vector<dependency_entry>& entries);
// Fills a 16-byte name field, NUL-padded.
void put_name_field(unsigned char* field, const std::string& name);
