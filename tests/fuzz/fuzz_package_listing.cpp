// mkvrp's listing is the tool people point at packages they do not trust; any bytes must end in
// a listing or a refusal, from a file and from a pipe.
#include <cstdint>
#include <istream>
#include <sstream>

#include "fuzz_input.h"
#include "fuzz_target.h"
#include "tools/mkvrp/package_listing.h"
#include "tools/mkvrp/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    silence_reports(true);
    {
        memory_buffer file(data, size);
        std::istream in(&file);
        std::ostringstream out;
        list_package(in, out, "fuzz");
    }
    {
        pipe_like_buffer pipe(data, size);
        std::istream in(&pipe);
        std::ostringstream out;
        list_package(in, out, "fuzz");
    }
    return 0;
}
