// Any file-data part must end in a clean end or a broken package. The first byte chooses whether
// the rest is the compressed part inside a container (read through the part reader and zlib) or
// records as they come out of zlib.
#include <cstdint>
#include <istream>
#include <sstream>
#include <string>

#include "common/byte_order.h"
#include "common/file_record.h"
#include "common/inflate_stream.h"
#include "common/part_reader.h"
#include "fuzz_input.h"
#include "fuzz_target.h"

namespace {

void read_records(std::istream& in)
{
    for (int count = 0; count < 100000; ++count) {
        file_record record;
        if (read_file_record(in, record) != record_status::ok)
            return;
        bool ok = true;
        if (record.type() == TYPE_SYMLINK) {
            std::string target;
            ok = read_link_target(in, record, target);
        } else if (record.is_device()) {
            std::uint32_t device;
            ok = read_device_number(in, device);
        } else {
            ok = skip_content(in, record);
        }
        if (!ok)
            return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    bool raw = data[0] & 1;
    ++data;
    --size;
    if (raw) {
        std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
        read_records(in);
        return 0;
    }
    std::string file(FILE_HEADER_SIZE + PART_HEADER_SIZE, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(file.data());
    put_u32(bytes, PACKAGE_MAGIC);
    put_u32(bytes + 4, std::uint32_t(PART_HEADER_SIZE + size));
    put_u16(bytes + 8, PART_FILES);
    put_u32(bytes + 10, std::uint32_t(size));
    file.append(reinterpret_cast<const char*>(data), size);
    // A byte behind the part that a reader must never consume as file data.
    file.push_back('\x55');
    pipe_like_buffer pipe(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    part_reader reader(&pipe);
    reader.accept(PART_FILES);
    if (reader.next_part() != PART_FILES)
        __builtin_trap();
    inflate_stream inflater(reader.rdbuf());
    std::istream in(&inflater);
    read_records(in);
    if (reader.remaining_in_part() > size)
        __builtin_trap();
    return 0;
}
