#pragma once
#include <cstdint>
#include <string>

// Package files are little-endian whatever the host; fields are assembled byte by byte.
inline std::uint16_t get_u16(const unsigned char* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

inline std::uint32_t get_u32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t get_u64(const unsigned char* p)
{
    return std::uint64_t(get_u32(p)) | (std::uint64_t(get_u32(p + 4)) << 32);
}

inline void put_u16(unsigned char* p, std::uint16_t v)
{
    p[0] = v & 0xff;
    p[1] = v >> 8;
}

inline void put_u32(unsigned char* p, std::uint32_t v)
{
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
    p[2] = (v >> 16) & 0xff;
    p[3] = v >> 24;
}

inline void put_u64(unsigned char* p, std::uint64_t v)
{
    put_u32(p, std::uint32_t(v));
    put_u32(p + 4, std::uint32_t(v >> 32));
}

inline void append_u16(std::string& out, std::uint16_t v)
{
    unsigned char b[2];
    put_u16(b, v);
    out.append(reinterpret_cast<char*>(b), 2);
}

inline void append_u32(std::string& out, std::uint32_t v)
{
    unsigned char b[4];
    put_u32(b, v);
    out.append(reinterpret_cast<char*>(b), 4);
}
