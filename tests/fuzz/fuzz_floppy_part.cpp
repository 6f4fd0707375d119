// A floppy part file of any bytes must end as a bad part or a verified payload: never a crash, a
// hang, or an allocation larger than the file can justify. The set is offered the part twice: as
// its first part and as the part after an earlier one.
#include <cstdint>
#include <cstdio>

#include "fuzz_target.h"
#include "setup/disk/floppy_part_copy.h"
#include "setup/support/process_runner.h"

namespace {

// A fresh part file holding the bytes, as open_floppy_part hands one over.
std::FILE* part_file(const std::uint8_t* data, std::size_t size)
{
    std::FILE* part = std::tmpfile();
    if (part && (std::fwrite(data, 1, size, part) != size || std::fflush(part) != 0 || std::fseek(part, 0, SEEK_SET) != 0)) {
        std::fclose(part);
        return nullptr;
    }
    return part;
}

// Every copy writes at most the file's own size, so a file standing in for installer's input is
// bounded too.
int copy_once(floppy_set_header& set, const std::uint8_t* data, std::size_t size)
{
    std::FILE* part = part_file(data, size);
    std::FILE* sink = std::tmpfile();
    int copied = part && sink ? copy_floppy_part(set, part, sink) : 0;
    if (part)
        std::fclose(part);
    if (sink)
        std::fclose(sink);
    return copied;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    floppy_set_header fresh;
    if (copy_once(fresh, data, size) > 0 && fresh.magic != FLOPPY_PART_MAGIC)
        __builtin_trap();
    floppy_set_header begun;
    begun.magic = FLOPPY_PART_MAGIC;
    begun.part_count = 2;
    copy_once(begun, data, size);
    return 0;
}
