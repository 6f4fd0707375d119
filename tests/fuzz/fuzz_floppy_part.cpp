// A floppy part file of any bytes must end as a bad part or a verified payload: never a crash, a
// hang, or an allocation larger than the file can justify. The set is offered the part twice: as
// its first part and as the part after an earlier one.
#include <cstdint>
#include <cstdio>

#include "setup/disk/floppy_part_copy.h"
#include "setup/support/process_runner.h"

namespace {

// Every copy writes at most the file's own size, so a file standing in for installer's input is
// bounded too.
int copy_once(floppy_set_header& set, std::FILE* part, std::FILE* sink)
{
    std::rewind(part);
    std::rewind(sink);
    return copy_floppy_part(set, part, sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    std::FILE* part = std::tmpfile();
    std::FILE* sink = std::tmpfile();
    if (!part || !sink || std::fwrite(data, 1, size, part) != size || std::fflush(part) != 0)
        return 0;
    floppy_set_header fresh;
    if (copy_once(fresh, part, sink) > 0 && fresh.magic != FLOPPY_PART_MAGIC)
        __builtin_trap();
    floppy_set_header begun;
    begun.magic = FLOPPY_PART_MAGIC;
    begun.part_count = 2;
    copy_once(begun, part, sink);
    std::fclose(part);
    std::fclose(sink);
    return 0;
}
