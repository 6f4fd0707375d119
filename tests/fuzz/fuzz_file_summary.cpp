// The repository scan reads package files by path; any file content must end in a clean result.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "fuzz_target.h"
#include "installer/package/repository_package.h"

namespace {

const std::string& scratch_path()
{
    static const std::string path = [] {
        char pattern[] = "/tmp/fuzz_file_summary.XXXXXX";
        int descriptor = mkstemp(pattern);
        if (descriptor >= 0)
            close(descriptor);
        return std::string(pattern);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = scratch_path();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    bool written = std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (!written)
        return 0;
    repository_package record;
    if (read_file_summary(path, record) && record.is_bundle && record.contained_packages.empty())
        __builtin_trap();  // a bundle is only accepted with at least one package
    return 0;
}
