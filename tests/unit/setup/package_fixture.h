#pragma once

// Package lists for the menu tests: entries built in memory, and package files built byte by byte.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "setup/tui/package_list.h"

inline package_entry make_entry(const std::string& name, const std::vector<std::string>& dependencies = {},
                                const std::string& description = "")
{
    package_entry entry;
    entry.path = "/media/" + name + ".vrp";
    put_name_field(entry.header, name);
    entry.description = description;
    entry.dependency_count = static_cast<uint16_t>(dependencies.size());
    for (const std::string& dependency : dependencies)
        entry.dependencies.push_back(dependency_entry{dependency.substr(0, NAME_FIELD_SIZE)});
    return entry;
}

// "name" or "name:dep1,dep2" per entry, in directory order.
inline void fill_list(package_list& list, const std::vector<std::string>& lines)
{
    list.entries.clear();
    for (const std::string& line : lines) {
        size_t colon = line.find(':');
        std::vector<std::string> dependencies;
        if (colon != std::string::npos) {
            size_t start = colon + 1;
            while (start <= line.size()) {
                size_t comma = line.find(',', start);
                if (comma == std::string::npos)
                    comma = line.size();
                dependencies.push_back(line.substr(start, comma - start));
                start = comma + 1;
            }
        }
        list.entries.push_back(make_entry(line.substr(0, colon), dependencies));
    }
}

inline std::string selected_names(const package_list& list)
{
    std::string names;
    for (const package_entry& entry : list.entries)
        if (entry.selected)
            names += (names.empty() ? "" : " ") + std::string(package_name(entry));
    return names;
}

// Little-endian part building for package files.
inline void append_u16(std::string& out, uint16_t value)
{
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>(value >> 8);
}

inline void append_u32(std::string& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

inline std::string part(uint16_t type, const std::string& payload)
{
    std::string out;
    append_u16(out, type);
    append_u32(out, static_cast<uint32_t>(payload.size()));
    return out + payload;
}

inline std::string header_record(const std::string& name)
{
    std::string record(32, '\0');
    put_name_field(reinterpret_cast<unsigned char*>(record.data()), name);
    return record;
}

inline std::string name_list(const std::vector<std::string>& names)
{
    std::string out;
    append_u16(out, static_cast<uint16_t>(names.size()));
    for (const std::string& name : names)
        out += header_record(name);
    return out;
}

inline std::string package_file(const std::string& parts)
{
    std::string out;
    append_u32(out, 0xbad0f11e);
    append_u32(out, static_cast<uint32_t>(parts.size()));
    return out + parts;
}
