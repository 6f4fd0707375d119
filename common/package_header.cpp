#include "common/package_header.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "common/part_reader.h"

std::string name_from_field(const unsigned char* field)
{
    return std::string(reinterpret_cast<const char*>(field), strnlen(reinterpret_cast<const char*>(field), NAME_FIELD_SIZE));
}

void put_name_field(unsigned char* field, const std::string& name)
{
    std::memset(field, 0, NAME_FIELD_SIZE);
    std::memcpy(field, name.data(), std::min(name.size(), NAME_FIELD_SIZE));
}

bool read_name_list(part_reader& reader, std::vector<dependency_entry>& entries)
{
    unsigned char count_bytes[2];
    if (!reader.read(reinterpret_cast<char*>(count_bytes), 2))
        return false;
    unsigned count = get_u16(count_bytes);
    for (unsigned i = 0; i < count; ++i) {
        unsigned char entry[NAME_ENTRY_SIZE];
        if (!reader.read(reinterpret_cast<char*>(entry), NAME_ENTRY_SIZE))
            return false;
        dependency_entry parsed;
        parsed.name = name_from_field(entry);
        parsed.minimum = get_u32(entry + 16);
        parsed.maximum = get_u32(entry + 24);
        parsed.extra = std::int32_t(get_u32(entry + 28));
        entries.push_back(std::move(parsed));
    }
    return true;
}

bool append_name_list(std::string& out, const std::vector<dependency_entry>& entries)
{
    if (entries.size() > MAX_NAME_LIST_ENTRIES)
        return false;
    append_u16(out, std::uint16_t(entries.size()));
    for (const auto& entry : entries) {
        unsigned char bytes[NAME_ENTRY_SIZE] = {};
        put_name_field(bytes, entry.name);
        put_u32(bytes + 16, entry.minimum);
        put_u32(bytes + 24, entry.maximum);
        put_u32(bytes + 28, std::uint32_t(entry.extra));
        out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    return true;
}

void append_header_record(std::string& out, const std::string& name, version_number version,
                          std::uint32_t build_time)
{
    unsigned char record[HEADER_RECORD_SIZE] = {};
    put_name_field(record, name);
    put_u32(record + 16, version);
    put_u32(record + 20, build_time);
    out.append(reinterpret_cast<const char*>(record), sizeof record);
}

bool read_header(part_reader& reader, package_header& record)
{
    std::int32_t type = reader.current_type();
    if (type != PART_PACKAGE && type != PART_BUNDLE)
        return false;
    record.is_bundle = type == PART_BUNDLE;
    unsigned char header[HEADER_RECORD_SIZE];
    if (!reader.read(reinterpret_cast<char*>(header), HEADER_RECORD_SIZE))
        return false;
    record.name = name_from_field(header);
    record.version = get_u32(header + 16);
    record.build_time = get_u32(header + 20);

    type = reader.next_part();
    if (type == PART_ARCHITECTURE) {
        // The part size is untrusted: read in slices instead of allocating it up front, and keep no
        // more than a name can sensibly be; advancing skips the rest.
        std::string architecture;
        char slice[256];
        while (reader.remaining_in_part() > 0 && architecture.size() < MAX_ARCHITECTURE_TEXT) {
            std::streamsize want = std::min<std::streamsize>(sizeof slice, reader.remaining_in_part());
            if (!reader.read(slice, want))
                return false;
            architecture.append(slice, std::size_t(want));
        }
        record.architecture = std::move(architecture);
        type = reader.next_part();
    } else {
        record.architecture = "i386";
    }
    const std::pair<std::int32_t, std::vector<dependency_entry>*> lists[] = {
        {PART_DEPENDENCIES, &record.dependencies},
        {PART_PROVIDES, &record.provides},
        {PART_CONFLICTS, &record.conflicts},
    };
    for (const auto& [list_type, entries] : lists) {
        if (type != list_type)
            continue;
        if (!read_name_list(reader, *entries))
            return false;
        type = reader.next_part();
    }
    return true;
}
