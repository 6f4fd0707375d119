#include "tools/mkvrp/container_writer.h"

#include <cerrno>
#include <cstring>

#include "common/byte_order.h"
#include "common/part_reader.h"
#include "tools/mkvrp/report.h"

bool container_writer::open(const std::string& path, std::uint32_t magic)
{
    path_ = path;
    if (!file_.open(path, std::ios::out | std::ios::binary | std::ios::trunc)) {
        report_error("cannot create " + path + ": " + std::strerror(errno));
        return false;
    }
    ok_ = true;
    unsigned char header[FILE_HEADER_SIZE];
    put_file_header(header, magic, 0);
    return write(header, sizeof header);
}

std::uint64_t container_writer::offset()
{
    return std::uint64_t(file_.pubseekoff(0, std::ios::cur, std::ios::out));
}

bool container_writer::write(const void* data, std::size_t size)
{
    if (!ok_)
        return false;
    if (file_.sputn(static_cast<const char*>(data), std::streamsize(size)) != std::streamsize(size)) {
        report_error("cannot write " + path_ + ": " + std::strerror(errno));
        ok_ = false;
    }
    return ok_;
}

bool container_writer::begin_part(std::uint16_t type)
{
    if (!ok_)
        return false;
    part_start_ = offset();
    in_part_ = true;
    unsigned char header[PART_HEADER_SIZE];
    put_part_header(header, type, 0);
    return write(header, sizeof header);
}

bool container_writer::patch_u32(std::uint64_t at, std::uint64_t value, const char* what)
{
    if (value > 0xffffffffULL) {
        report_error(std::string(what) + " of " + path_ + " exceeds 4 GiB, which a package file cannot describe");
        ok_ = false;
        return false;
    }
    std::uint64_t end = offset();
    unsigned char bytes[4];
    put_u32(bytes, std::uint32_t(value));
    if (file_.pubseekpos(std::streamoff(at), std::ios::out) != std::streampos(std::streamoff(at)) ||
        file_.sputn(reinterpret_cast<char*>(bytes), 4) != 4 ||
        file_.pubseekpos(std::streamoff(end), std::ios::out) != std::streampos(std::streamoff(end))) {
        report_error("cannot write " + path_ + ": " + std::strerror(errno));
        ok_ = false;
    }
    return ok_;
}

bool container_writer::end_part()
{
    if (!ok_ || !in_part_)
        return false;
    in_part_ = false;
    std::uint64_t payload = offset() - part_start_ - PART_HEADER_SIZE;
    return patch_u32(part_start_ + PART_SIZE_OFFSET, payload, "a part");
}

bool container_writer::finish()
{
    if (ok_)
        patch_u32(FILE_LENGTH_OFFSET, offset() - FILE_HEADER_SIZE, "the content");
    if (!file_.close() && ok_) {
        report_error("cannot write " + path_ + ": " + std::strerror(errno));
        ok_ = false;
    }
    return ok_;
}
