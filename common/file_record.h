#pragma once
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

// The file data of a package is a compressed stream of records, each a 30-byte header (mode,
// owner, time, content size, name length), the name, and the content: a file's bytes, a link's
// target or a device's number. A record is a value that its reader or writer owns for one step.

constexpr std::size_t FILE_RECORD_HEADER_SIZE = 30;
constexpr std::size_t CONTENT_CHUNK_SIZE = 16384;
// Link targets longer than a path can be are not trusted to be allocated.
constexpr std::uint32_t MAX_LINK_TARGET = 4096;

constexpr std::uint16_t TYPE_MASK = 0xF000;
constexpr std::uint16_t TYPE_FIFO = 0x1000;
constexpr std::uint16_t TYPE_CHAR_DEVICE = 0x2000;
constexpr std::uint16_t TYPE_DIRECTORY = 0x4000;
constexpr std::uint16_t TYPE_BLOCK_DEVICE = 0x6000;
constexpr std::uint16_t TYPE_REGULAR = 0x8000;
constexpr std::uint16_t TYPE_SYMLINK = 0xA000;

// One entry of the decompressed file-data stream, without its content.
struct file_record {
    std::uint16_t mode = 0;
    std::uint16_t uid = 0;
    std::uint16_t gid = 0;
    std::uint32_t mtime = 0;
    std::uint32_t content_size = 0;
    std::string path;  // always begins with "/"
    bool rooted = false;  // the stored name lacked its leading "/", which path adds

    std::uint16_t type() const { return mode & TYPE_MASK; }
    bool is_device() const { return type() == TYPE_CHAR_DEVICE || type() == TYPE_BLOCK_DEVICE; }
    // The name exactly as the package stores it.
    std::string stored_name() const { return rooted ? path.substr(1) : path; }
};

enum class record_status {
    ok,      // a header was read; its content follows
    end,     // the record sequence is complete
    broken,  // the package cannot be understood
};

// Reads the 30-byte header and the path of the next record. A record of an unknown type, or a
// device whose content is not exactly its 4-byte number, is broken.
record_status read_file_record(std::istream& in, file_record& record);

// Content readers for the record just read; each fails (broken package) on a short read.
bool read_link_target(std::istream& in, const file_record& record, std::string& target);
bool read_device_number(std::istream& in, std::uint32_t& device);
bool skip_content(std::istream& in, const file_record& record);

// The writing side, used by the package builder.
bool write_file_record(std::ostream& out, const file_record& record);

// "drwxr-xr-x" style text of a record's mode, for listings.
std::string mode_text(std::uint16_t mode);
