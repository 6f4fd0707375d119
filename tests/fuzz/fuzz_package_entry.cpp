// Any bytes read as one entry of the setup package list must end in a clean failure or an entry
// whose dependency table matches its count, from a seekable file and from a pipe alike; sizes that
// claim more than the input holds must not turn into allocations.
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "fuzz_target.h"
#include "setup/tui/package_list.h"

namespace {

void check_entry(std::streambuf* source)
{
    package_entry entry;
    if (!read_package_entry(source, entry))
        return;
    if (entry.dependencies.size() != entry.dependency_count)
        std::abort();
    size_t names = package_name(entry).size();
    for (size_t i = 0; i < entry.dependency_count; ++i)
        names += dependency_name(entry, i).size();
    if (names > (size_t{entry.dependency_count} + 1) * NAME_FIELD_SIZE)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        memory_buffer file(data, size);
        check_entry(&file);
    }
    {
        pipe_like_buffer pipe(data, size);
        check_entry(&pipe);
    }
    return 0;
}
