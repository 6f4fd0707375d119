#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <strings.h>

#include "common/part_reader.h"
#include "setup/support/untrusted_text.h"
#include "setup/tui/package_list.h"
#include "setup/tui/terminal_mode.h"

namespace {

// Only the first parts of a file are wanted; a small buffer keeps a multi-megabyte package from
// being read further than its headers.
constexpr std::streamsize FILE_BUFFER_SIZE = 4096;
constexpr size_t READ_CHUNK = 4096;

// Reads count bytes of the current part in chunks, so that a size field claiming more than the
// file holds fails on the short read instead of allocating what it claims.
template <typename buffer_type>
bool read_bytes(part_reader& reader, size_t count, buffer_type& out)
{
    char chunk[READ_CHUNK];
    while (count > 0) {
        size_t want = std::min(count, READ_CHUNK);
        reader.read(chunk, static_cast<std::streamsize>(want));
        if (static_cast<size_t>(reader.gcount()) != want)
            return false;
        out.insert(out.end(), chunk, chunk + want);
        count -= want;
    }
    return true;
}

bool read_entry(package_entry& entry)
{
    // The buffer outlives the file buffer that uses it.
    char buffer[FILE_BUFFER_SIZE];
    std::filebuf file;
    file.pubsetbuf(buffer, FILE_BUFFER_SIZE);
    if (file.open(entry.path, std::ios::in | std::ios::binary) == nullptr)
        return false;
    return read_package_entry(&file, entry);
}

// After the bundle's own header and dependencies: the header of every member, whose other parts
// are skipped. The names become the entry's description.
bool read_bundle_members(part_reader& reader, std::int32_t type, package_entry& entry)
{
    size_t members = 0;
    for (; type != -1; type = reader.next_part()) {
        if (type != PART_PACKAGE)
            continue;
        unsigned char member[HEADER_RECORD_SIZE];
        reader.read(reinterpret_cast<char*>(member), HEADER_RECORD_SIZE);
        if (reader.gcount() != static_cast<std::streamsize>(HEADER_RECORD_SIZE))
            return false;
        if (members++ > 0)
            entry.description += ", ";
        entry.description += package_name(member);
    }
    return members > 0;
}

}  // namespace

bool package_file_name(const char* file_name)
{
    size_t length = std::strlen(file_name);
    return length >= 4 && strcasecmp(file_name + length - 4, ".vrp") == 0;
}

bool read_package_entry(std::streambuf* source, package_entry& entry)
{
    entry.description.clear();
    entry.dependency_count = 0;
    entry.dependencies.clear();
    part_reader reader(source);
    reader.accept(PART_PACKAGE);
    reader.accept(PART_DESCRIPTION);
    reader.accept(PART_DEPENDENCIES);
    reader.accept(PART_BUNDLE);
    std::int32_t first = reader.next_part();
    if (first != PART_PACKAGE && first != PART_BUNDLE)
        return false;
    entry.bundle = first == PART_BUNDLE;
    reader.read(reinterpret_cast<char*>(entry.header), HEADER_RECORD_SIZE);
    if (reader.gcount() != static_cast<std::streamsize>(HEADER_RECORD_SIZE))
        return false;
    std::int32_t type = reader.next_part();
    if (!entry.bundle && type == PART_DESCRIPTION) {
        if (!read_bytes(reader, reader.current_part_size(), entry.description))
            return false;
        type = reader.next_part();
    }
    if (type == PART_DEPENDENCIES) {
        if (!read_name_list(reader, entry.dependencies))
            return false;
        entry.dependency_count = static_cast<uint16_t>(entry.dependencies.size());
        if (entry.bundle)
            type = reader.next_part();
    }
    return !entry.bundle || read_bundle_members(reader, type, entry);
}

std::string_view package_name(const unsigned char* field)
{
    const char* text = reinterpret_cast<const char*>(field);
    return std::string_view(text, strnlen(text, NAME_FIELD_SIZE));
}

std::string_view package_name(const package_entry& entry)
{
    return package_name(entry.header);
}

std::string_view dependency_name(const package_entry& entry, size_t index)
{
    return entry.dependencies[index].name;
}

package_entry* find_package(package_list& list, std::string_view name)
{
    for (package_entry& entry : list.entries)
        if (package_name(entry) == name)
            return &entry;
    return nullptr;
}

void package_list_init(package_list& list, const char* directory)
{
    list.directory = directory;
    list.entries.clear();
    list.display_order.clear();
    list.display_names.clear();
    list.display_items.clear();
    list.display_pointers.clear();
    list.grid = menu_grid{};
    list.remote = false;
    disable_line_editing();
}

bool package_list_load(package_list& list, bool initially_selected)
{
    list.entries.clear();
    std::vector<std::string> names;
    if (DIR* directory = opendir(list.directory)) {
        while (const dirent* found = readdir(directory))
            if (package_file_name(found->d_name))
                names.emplace_back(found->d_name);
        closedir(directory);
    }
    if (names.empty()) {
        std::puts("FATAL ERROR: No packages found");
        return false;
    }
    list.entries.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        package_entry& entry = list.entries[i];
        entry.path = std::string(list.directory) + "/" + names[i];
        if (!read_entry(entry)) {
            // The file name comes from the medium as much as its content does.
            std::printf("FATAL ERROR: Bad package %s\n", printable_text(entry.path).c_str());
            list.entries.clear();
            return false;
        }
        entry.selected = initially_selected;
    }
    return true;
}
