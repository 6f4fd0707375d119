// Any bytes given to the container reader must end in a clean failure or a record, read both
// from a seekable file and from a pipe.
#include <cstdint>
#include <vector>

#include "common/package_header.h"
#include "common/part_reader.h"
#include "fuzz_input.h"
#include "fuzz_target.h"

namespace {

void read_like_the_repository_scan(std::streambuf* source)
{
    part_reader reader(source);
    for (std::int32_t type : {PART_BUNDLE, PART_PACKAGE, PART_ARCHITECTURE, PART_DEPENDENCIES, PART_PROVIDES, PART_CONFLICTS})
        reader.accept(type);
    reader.next_part();
    package_header record;
    if (!read_header(reader, record) || !record.is_bundle)
        return;
    while (reader.current_type() == PART_PACKAGE) {
        package_header member;
        if (!read_header(reader, member))
            return;
    }
}

// Every part the installer takes, each consumed the way its user does, with seeks inside parts.
void read_like_an_install(std::streambuf* source)
{
    part_reader reader(source);
    for (std::int32_t type : {1, 18, 20, 16, 3, 19, 17, 4, 7, 8})
        reader.accept(type);
    int parts = 0;
    for (std::int32_t type = reader.next_part(); type >= 0 && parts < 10000; ++parts) {
        if (type == PART_PACKAGE || type == PART_BUNDLE) {
            package_header record;
            if (!read_header(reader, record))
                return;
            type = reader.current_type();
            continue;
        }
        if (type == PART_BUNDLE_NAMES) {
            std::vector<dependency_entry> names;
            read_name_list(reader, names);
        } else {
            char byte;
            reader.get(byte);
            reader.unget();
            reader.clear();
            reader.seekg(reader.current_part_size() / 2, std::ios_base::beg);
            reader.clear();
            reader.seekg(-1, std::ios_base::end);
            reader.clear();
            reader.seekg(0, std::ios_base::beg);
        }
        reader.clear();
        type = reader.next_part();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        memory_buffer file(data, size);
        read_like_the_repository_scan(&file);
    }
    {
        pipe_like_buffer pipe(data, size);
        read_like_the_repository_scan(&pipe);
    }
    {
        memory_buffer file(data, size);
        read_like_an_install(&file);
    }
    {
        pipe_like_buffer pipe(data, size);
        read_like_an_install(&pipe);
    }
    return 0;
}
