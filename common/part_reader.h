#pragma once
#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>
#include <vector>

constexpr std::uint32_t PACKAGE_MAGIC = 0xbad0f11e;
constexpr std::uint32_t PACKAGE_MAGIC_NODB = 0xa1100ffb;

enum part_type : std::int32_t {
    PART_PACKAGE = 1,
    PART_DESCRIPTION = 2,
    PART_DEPENDENCIES = 3,
    PART_FILES = 4,
    PART_INSTALL_SCRIPT = 7,
    PART_UNINSTALL_SCRIPT = 8,
    PART_ARCHITECTURE = 16,
    PART_CONFLICTS = 17,
    PART_BUNDLE = 18,
    PART_PROVIDES = 19,
    PART_BUNDLE_NAMES = 20,
};

// A package file is an 8-byte file header (magic, then the length of everything behind it) and a
// sequence of parts, each a 6-byte header (type, then payload size) and its payload.
constexpr int FILE_HEADER_SIZE = 8;
constexpr int PART_HEADER_SIZE = 6;
// Where the length fields sit, for a writer that fills them in once the length is known.
constexpr int FILE_LENGTH_OFFSET = 4;
constexpr int PART_SIZE_OFFSET = 2;

void put_file_header(unsigned char* header, std::uint32_t magic, std::uint32_t content_length);
void put_part_header(unsigned char* header, std::uint16_t type, std::uint32_t payload_size);

// Whether the file at `path` is as long as `total_length`, the length its file header gives plus
// the header itself; `actual` receives the size found. Only a regular file has a size to compare:
// anything else (a pipe, a device, a path that cannot be examined) passes.
bool file_length_agrees(const std::string& path, std::uint64_t total_length, std::uint64_t& actual);

// Unbuffered view of the current part's payload over the underlying stream buffer: reads stop
// at the part's end, so a part's consumer can never read into the next part.
class part_streambuf : public std::streambuf {
public:
    explicit part_streambuf(std::streambuf* source);

    std::streambuf* source;
    std::uint64_t position = FILE_HEADER_SIZE;
    std::uint32_t size = 0;
    std::uint32_t remaining = 0;

    // Moves the underlying stream forward by count bytes, by seeking where it can and by
    // reading otherwise (a pipe).
    bool skip_source(std::uint64_t count);

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override;
    pos_type seekpos(pos_type target, std::ios_base::openmode) override;
    std::streamsize showmanyc() override;
    std::streamsize xsgetn(char* buffer, std::streamsize count) override;
    int_type underflow() override;
    int_type uflow() override;
    int_type pbackfail(int_type c) override;
};

// Steps through the parts of a package file, seekable or not. The reader's own stream reads the
// payload of the current part.
class part_reader : public std::istream {
public:
    // Reads the 8-byte file header; a short header or an unknown magic leaves the reader bad.
    explicit part_reader(std::istream& underlying);
    explicit part_reader(std::streambuf* underlying);
    ~part_reader() override = default;

    part_reader(const part_reader&) = delete;
    part_reader& operator=(const part_reader&) = delete;

    void accept(std::int32_t type);
    // The type of the next accepted part, or -1 at the end of the data (the stream then fails).
    std::int32_t next_part();

    std::int32_t current_type() const { return current_type_; }
    std::uint32_t current_part_size() const { return buffer_.size; }
    std::uint32_t remaining_in_part() const { return buffer_.remaining; }
    std::uint32_t total_file_length() const { return total_file_length_; }
    std::uint64_t position() const { return buffer_.position; }
    std::uint32_t magic() const { return magic_; }
    bool is_nodb() const { return magic_ == PACKAGE_MAGIC_NODB; }
    // The stream buffer the parts come from. Parts are read from it without buffering of their
    // own, so a caller may look ahead and seek back, or replace it by one that holds the same
    // remaining bytes.
    std::streambuf*& source() { return buffer_.source; }

private:
    void read_file_header();
    std::int32_t end_of_parts();

    part_streambuf buffer_;
    std::vector<std::int32_t> accepted_;
    std::int32_t current_type_ = 0;
    std::uint32_t magic_ = 0;
    std::uint32_t total_file_length_ = 0;
};
