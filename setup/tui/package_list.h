#pragma once

// The package files of one installation medium: one package_entry per ".vrp" file of a directory
// (a package or a bundle of packages), holding only what the menu and the install order need
// (header, description, dependency names), never the file data. A package_list is owned by the installation flow that reads the medium; the
// directory text is borrowed from that flow and must outlive the list.

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "common/package_header.h"
#include "setup/tui/menu_grid.h"

struct package_entry {
    std::string path;                               // directory + "/" + file name
    unsigned char header[HEADER_RECORD_SIZE] = {};  // byte for byte; the name is the first 16
    // Empty when the file has none. A bundle carries no description of its own: its entry
    // describes it by the names of its members, joined by ", ".
    std::string description;
    bool bundle = false;
    uint16_t dependency_count = 0;
    std::vector<dependency_entry> dependencies;    // dependency_count entries
    bool selected = false;
};

struct package_list {
    const char* directory = nullptr;
    std::vector<package_entry> entries;     // directory order
    // Display order, rebuilt each time the menu opens: the entry index behind each grid item, the
    // names as shown, the items the grid draws (names point into display_names) and the pointers
    // it walks.
    std::vector<size_t> display_order;
    std::vector<std::string> display_names;
    std::vector<grid_entry> display_items;
    std::vector<grid_entry*> display_pointers;
    menu_grid grid;
    bool remote = false;
};

void package_list_init(package_list& list, const char* directory);
// Reports "No packages found" or "Bad package" itself.
bool package_list_load(package_list& list, bool initially_selected);

// Fills the header, description and dependencies of the entry from a package file, reading only
// its first parts; for a bundle, the bundle's own header and dependencies and the header of every
// member (the parts between them are skipped, not read). False when the file is neither a package
// nor a bundle with at least one member, or is cut short in what is read.
bool read_package_entry(std::streambuf* source, package_entry& entry);

// A file name that the load takes for a package file: ending in ".vrp" in any case, since tools of
// other systems write "SYSTEM.VRP" onto FAT disks.
bool package_file_name(const char* file_name);

// A name field as text: up to its first NUL, never more than 16 bytes.
std::string_view package_name(const unsigned char* field);
std::string_view package_name(const package_entry& entry);
// The name of dependency `index` of the entry.
std::string_view dependency_name(const package_entry& entry, size_t index);
// The first entry, in directory order, with that name; nullptr when there is none.
package_entry* find_package(package_list& list, std::string_view name);
