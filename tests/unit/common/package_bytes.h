#pragma once
// Package files assembled byte by byte for the reader tests.
#include <cstdint>
#include <initializer_list>
#include <streambuf>
#include <string>

#include "common/byte_order.h"
#include "common/part_reader.h"

inline std::string part_bytes(std::uint16_t type, const std::string& payload)
{
    std::string out;
    append_u16(out, type);
    append_u32(out, std::uint32_t(payload.size()));
    return out + payload;
}

inline std::string file_bytes(std::initializer_list<std::string> parts, std::uint32_t magic = PACKAGE_MAGIC)
{
    std::string body;
    for (const auto& part : parts)
        body += part;
    std::string out;
    append_u32(out, magic);
    append_u32(out, std::uint32_t(body.size()));
    return out + body;
}

inline std::string name_field(const std::string& name)
{
    std::string field = name.substr(0, 16);
    field.resize(16, '\0');
    return field;
}

inline std::string header_payload(const std::string& name, std::uint32_t version, std::uint32_t built)
{
    std::string out = name_field(name);
    append_u32(out, version);
    append_u32(out, built);
    return out + std::string(8, '\0');
}

struct name_entry {
    std::string name;
    std::uint32_t minimum = 0, maximum = 0;
    std::int32_t extra = 0;
};

inline std::string name_list_payload(std::initializer_list<name_entry> entries, int count = -1)
{
    std::string out;
    append_u16(out, std::uint16_t(count < 0 ? entries.size() : unsigned(count)));
    for (const auto& entry : entries) {
        out += name_field(entry.name);
        append_u32(out, entry.minimum);
        append_u32(out, 0);
        append_u32(out, entry.maximum);
        append_u32(out, std::uint32_t(entry.extra));
    }
    return out;
}

// A stream over bytes that refuses every seek, as a pipe does.
class pipe_buffer : public std::streambuf {
public:
    explicit pipe_buffer(std::string bytes) : bytes_(std::move(bytes))
    {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

private:
    std::string bytes_;
};
