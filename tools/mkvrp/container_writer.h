#pragma once
#include <cstdint>
#include <fstream>
#include <string>

// Writes the container of a package file straight to disk. Length fields are written as zero
// first and patched by seeking back once their part is complete, so no part is ever held whole.
class container_writer {
public:
    // Creates (or truncates) the output and writes the file header.
    bool open(const std::string& path, std::uint32_t magic);

    bool begin_part(std::uint16_t type);
    bool write(const void* data, std::size_t size);
    bool write(const std::string& data) { return write(data.data(), data.size()); }
    bool end_part();

    // Patches the file header's length and closes the file.
    bool finish();

    // Where a part's payload is written; only between begin_part and end_part.
    std::streambuf* sink() { return &file_; }
    const std::string& path() const { return path_; }

private:
    bool patch_u32(std::uint64_t offset, std::uint64_t value, const char* what);
    std::uint64_t offset();

    std::filebuf file_;
    std::string path_;
    std::uint64_t part_start_ = 0;  // offset of the open part's header
    bool in_part_ = false;
    bool ok_ = false;
};
