#include "common/file_record.h"

#include "common/byte_order.h"

record_status read_file_record(std::istream& in, file_record& record)
{
    unsigned char header[FILE_RECORD_HEADER_SIZE];
    if (!in.read(reinterpret_cast<char*>(header), FILE_RECORD_HEADER_SIZE))
        return record_status::end;
    record.mode = get_u16(header);
    record.uid = get_u16(header + 2);
    record.gid = get_u16(header + 4);
    record.mtime = get_u32(header + 8);
    record.content_size = get_u32(header + 24);
    std::uint16_t name_length = get_u16(header + 28);
    std::string path(name_length, '\0');
    if (name_length > 0 && !in.read(path.data(), name_length))
        return record_status::broken;
    record.rooted = path.empty() || path[0] != '/';
    if (record.rooted)
        path.insert(path.begin(), '/');
    record.path = std::move(path);
    switch (record.type()) {
    case TYPE_REGULAR:
    case TYPE_SYMLINK:
    case TYPE_DIRECTORY:
    case TYPE_FIFO:
        return record_status::ok;
    case TYPE_CHAR_DEVICE:
    case TYPE_BLOCK_DEVICE:
        return record.content_size == 4 ? record_status::ok : record_status::broken;
    default:
        return record_status::broken;
    }
}

bool read_link_target(std::istream& in, const file_record& record, std::string& target)
{
    if (record.content_size > MAX_LINK_TARGET)
        return false;
    target.assign(record.content_size, '\0');
    return record.content_size == 0 || bool(in.read(target.data(), record.content_size));
}

bool read_device_number(std::istream& in, std::uint32_t& device)
{
    unsigned char bytes[4];
    if (!in.read(reinterpret_cast<char*>(bytes), 4))
        return false;
    device = get_u32(bytes);
    return true;
}

bool skip_content(std::istream& in, const file_record& record)
{
    char chunk[1024];
    std::uint32_t left = record.content_size;
    while (left > 0) {
        std::streamsize want = left < sizeof chunk ? left : sizeof chunk;
        if (!in.read(chunk, want))
            return false;
        left -= std::uint32_t(want);
    }
    return true;
}

bool write_file_record(std::ostream& out, const file_record& record)
{
    std::string path = record.path;
    if (path.size() > 0xffff)
        return false;
    std::string header(FILE_RECORD_HEADER_SIZE, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(header.data());
    put_u16(bytes, record.mode);
    put_u16(bytes + 2, record.uid);
    put_u16(bytes + 4, record.gid);
    put_u32(bytes + 8, record.mtime);
    put_u32(bytes + 24, record.content_size);
    put_u16(bytes + 28, std::uint16_t(path.size()));
    out.write(header.data(), std::streamsize(header.size()));
    out.write(path.data(), std::streamsize(path.size()));
    return bool(out);
}

std::string mode_text(std::uint16_t mode)
{
    char kind = '?';
    switch (mode & TYPE_MASK) {
    case TYPE_REGULAR: kind = '-'; break;
    case TYPE_DIRECTORY: kind = 'd'; break;
    case TYPE_SYMLINK: kind = 'l'; break;
    case TYPE_CHAR_DEVICE: kind = 'c'; break;
    case TYPE_BLOCK_DEVICE: kind = 'b'; break;
    case TYPE_FIFO: kind = 'p'; break;
    }
    std::string text(1, kind);
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    if (mode & 04000) text[3] = (mode & 0100) ? 's' : 'S';
    if (mode & 02000) text[6] = (mode & 010) ? 's' : 'S';
    if (mode & 01000) text[9] = (mode & 01) ? 't' : 'T';
    return text;
}
