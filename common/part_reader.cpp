#include "common/part_reader.h"

#include <algorithm>
#include <sys/stat.h>

#include "common/byte_order.h"

namespace {
constexpr std::streamsize DISCARD_CHUNK = 4096;
}

part_streambuf::part_streambuf(std::streambuf* source_buffer) : source(source_buffer) {}

bool part_streambuf::skip_source(std::uint64_t count)
{
    if (count == 0)
        return true;
    if (source->pubseekoff(off_type(count), std::ios_base::cur, std::ios_base::in) != pos_type(off_type(-1)))
        return true;
    char scratch[DISCARD_CHUNK];
    while (count > 0) {
        std::streamsize want = std::streamsize(std::min<std::uint64_t>(count, DISCARD_CHUNK));
        std::streamsize got = source->sgetn(scratch, want);
        if (got != want)
            return false;
        count -= std::uint64_t(got);
    }
    return true;
}

part_streambuf::pos_type part_streambuf::seekoff(off_type offset, std::ios_base::seekdir dir,
                                                 std::ios_base::openmode mode)
{
    off_type consumed = off_type(size) - off_type(remaining);
    off_type target;
    if (dir == std::ios_base::beg)
        target = offset;
    else if (dir == std::ios_base::end)
        target = off_type(size) - offset;
    else
        target = offset + consumed;
    return seekpos(pos_type(target), mode);
}

part_streambuf::pos_type part_streambuf::seekpos(pos_type target_pos, std::ios_base::openmode)
{
    const pos_type failed(off_type(-1));
    off_type target = off_type(target_pos);
    off_type consumed = off_type(size) - off_type(remaining);
    if (target < 0 || target > off_type(size))
        return failed;
    if (target > consumed) {
        if (!skip_source(std::uint64_t(target - consumed))) {
            // Part of the skip may have happened; what is left of the part is unknown.
            remaining = 0;
            return failed;
        }
    } else if (target < consumed) {
        if (source->pubseekoff(target - consumed, std::ios_base::cur, std::ios_base::in) == failed)
            return failed;
    }
    remaining = std::uint32_t(off_type(size) - target);
    return pos_type(target);
}

std::streamsize part_streambuf::showmanyc()
{
    if (remaining == 0)
        return -1;
    std::streamsize available = source->in_avail();
    if (available < 0)
        return available;
    return std::min<std::streamsize>(available, remaining);
}

std::streamsize part_streambuf::xsgetn(char* buffer, std::streamsize count)
{
    count = std::min<std::streamsize>(count, remaining);
    if (count <= 0)
        return 0;
    std::streamsize got = source->sgetn(buffer, count);
    if (got > 0)
        remaining -= std::uint32_t(got);
    return got;
}

part_streambuf::int_type part_streambuf::underflow()
{
    if (remaining == 0)
        return traits_type::eof();
    return source->sgetc();
}

part_streambuf::int_type part_streambuf::uflow()
{
    if (remaining == 0)
        return traits_type::eof();
    int_type c = source->sbumpc();
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        --remaining;
    return c;
}

part_streambuf::int_type part_streambuf::pbackfail(int_type c)
{
    if (remaining >= size)
        return traits_type::eof();
    int_type back = traits_type::eq_int_type(c, traits_type::eof()) ? source->sungetc()
                                                                    : source->sputbackc(traits_type::to_char_type(c));
    if (traits_type::eq_int_type(back, traits_type::eof()))
        return back;
    ++remaining;
    return back;
}

part_reader::part_reader(std::istream& underlying) : part_reader(underlying.rdbuf()) {}

part_reader::part_reader(std::streambuf* underlying) : std::istream(nullptr), buffer_(underlying)
{
    init(&buffer_);
    read_file_header();
}

void part_reader::read_file_header()
{
    unsigned char header[FILE_HEADER_SIZE];
    if (!buffer_.source || buffer_.source->sgetn(reinterpret_cast<char*>(header), FILE_HEADER_SIZE) != FILE_HEADER_SIZE) {
        current_type_ = -1;
        setstate(std::ios_base::badbit);
        return;
    }
    magic_ = get_u32(header);
    total_file_length_ = get_u32(header + FILE_LENGTH_OFFSET) + FILE_HEADER_SIZE;
    if (magic_ != PACKAGE_MAGIC && magic_ != PACKAGE_MAGIC_NODB) {
        current_type_ = -1;
        setstate(std::ios_base::badbit);
    }
}

void part_reader::accept(std::int32_t type)
{
    accepted_.push_back(type);
}

std::int32_t part_reader::end_of_parts()
{
    current_type_ = -1;
    buffer_.remaining = 0;
    setstate(std::ios_base::eofbit | std::ios_base::failbit);
    return -1;
}

std::int32_t part_reader::next_part()
{
    if (rdstate() == std::ios_base::eofbit)
        clear();
    if (!good())
        return -1;
    for (;;) {
        if (!buffer_.skip_source(buffer_.remaining))
            return end_of_parts();
        buffer_.remaining = 0;
        buffer_.position += buffer_.size;
        buffer_.size = 0;
        unsigned char header[PART_HEADER_SIZE];
        if (buffer_.source->sgetn(reinterpret_cast<char*>(header), PART_HEADER_SIZE) != PART_HEADER_SIZE)
            return end_of_parts();
        buffer_.position += PART_HEADER_SIZE;
        std::int32_t type = get_u16(header);
        buffer_.size = get_u32(header + PART_SIZE_OFFSET);
        buffer_.remaining = buffer_.size;
        current_type_ = type;
        if (std::find(accepted_.begin(), accepted_.end(), type) != accepted_.end())
            return type;
    }
}

void put_file_header(unsigned char* header, std::uint32_t magic, std::uint32_t content_length)
{
    put_u32(header, magic);
    put_u32(header + FILE_LENGTH_OFFSET, content_length);
}

void put_part_header(unsigned char* header, std::uint16_t type, std::uint32_t payload_size)
{
    put_u16(header, type);
    put_u32(header + PART_SIZE_OFFSET, payload_size);
}

bool file_length_agrees(const std::string& path, std::uint64_t total_length, std::uint64_t& actual)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return true;
    actual = std::uint64_t(status.st_size);
    return actual == total_length;
}
