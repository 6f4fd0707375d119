// Reads the file records of a 64 MiB package (thousands of files) the way the installer does —
// part_reader over the file, inflate_stream, record headers, contents copied in 16 KiB chunks — and
// plain zlib inflating the same compressed part in the same run. Prints both times, their ratio and
// the peak memory of reading a small and a large package (each read runs in its own child process,
// so the peaks do not mix).
//
// usage: read_bench [WORK_DIR] [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include "common/byte_order.h"
#include "common/deflate_stream.h"
#include "common/file_record.h"
#include "common/inflate_stream.h"
#include "common/part_reader.h"
#include "common/version_number.h"

namespace {

constexpr double TARGET_RATIO = 1.15;
constexpr std::uint64_t MIB = 1024 * 1024;

struct package_file {
    std::string path;
    std::uint64_t files_offset = 0;  // of the file-data payload
    std::uint32_t files_size = 0;
    std::uint64_t content_bytes = 0;
    unsigned file_count = 0;
};

std::uint64_t next_random(std::uint64_t& state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// Contents mix random bytes (like compressed or machine code) with text, in files of 1-48 KiB,
// until the package file reaches the wanted size.
bool make_package(const std::string& path, std::uint64_t wanted_size, package_file& made)
{
    std::filebuf file;
    if (!file.open(path, std::ios::out | std::ios::binary | std::ios::trunc))
        return false;
    unsigned char head[8 + 6 + 32 + 6] = {};
    put_u32(head, PACKAGE_MAGIC);
    put_u16(head + 8, PART_PACKAGE);
    put_u32(head + 10, 32);
    std::memcpy(head + 14, "bench", 5);
    put_u32(head + 30, make_version(1, 0, 'f', 0));
    put_u16(head + 46, PART_FILES);
    file.sputn(reinterpret_cast<char*>(head), sizeof head);
    made.path = path;
    made.files_offset = sizeof head;

    static const char words[] = "the router installs packages from the repository at every start and keeps ";
    std::uint64_t state = 88172645463325252ULL;
    std::string content;
    {
        deflate_stream compressor(&file);
        std::ostream out(&compressor);
        std::uint64_t written = 0;
        while (std::uint64_t(file.pubseekoff(0, std::ios::cur, std::ios::out)) < wanted_size) {
            std::uint32_t size = 1024 + std::uint32_t(next_random(state) % (47 * 1024));
            content.resize(size);
            bool text = next_random(state) % 4 == 0;
            for (std::uint32_t i = 0; i < size; i += 8) {
                std::uint64_t r = next_random(state);
                for (std::uint32_t j = 0; j < 8 && i + j < size; ++j)
                    content[i + j] = text ? words[(i + j) % (sizeof words - 1)] : char(r >> (8 * j));
            }
            file_record record;
            record.mode = TYPE_REGULAR | 0644;
            record.mtime = 1700000000;
            record.content_size = size;
            char name[64];
            std::snprintf(name, sizeof name, "/usr/share/bench/%03u/file%05u", made.file_count / 100, made.file_count);
            record.path = name;
            if (!write_file_record(out, record) || !out.write(content.data(), size))
                return false;
            written += size;
            ++made.file_count;
        }
        made.content_bytes = written;
        if (!out.flush() || !compressor.finish())
            return false;
    }
    std::uint64_t end = std::uint64_t(file.pubseekoff(0, std::ios::cur, std::ios::out));
    made.files_size = std::uint32_t(end - made.files_offset);
    unsigned char number[4];
    put_u32(number, std::uint32_t(end - 8));
    file.pubseekpos(4);
    file.sputn(reinterpret_cast<char*>(number), 4);
    put_u32(number, made.files_size);
    file.pubseekpos(std::streamoff(made.files_offset - 4));
    file.sputn(reinterpret_cast<char*>(number), 4);
    return file.close() != nullptr;
}

// The installer's way; returns the content bytes seen, which must equal what was written.
std::uint64_t read_with_records(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    part_reader reader(file);
    reader.accept(PART_PACKAGE);
    reader.accept(PART_FILES);
    while (reader.next_part() == PART_PACKAGE) {
    }
    if (reader.current_type() != PART_FILES)
        return 0;
    inflate_stream inflater(reader.rdbuf());
    std::istream in(&inflater);
    static char chunk[CONTENT_CHUNK_SIZE];
    std::uint64_t total = 0;
    file_record record;
    while (read_file_record(in, record) == record_status::ok) {
        std::uint32_t left = record.content_size;
        while (left > 0) {
            std::uint32_t want = std::min<std::uint32_t>(left, CONTENT_CHUNK_SIZE);
            if (!in.read(chunk, want))
                return 0;
            left -= want;
        }
        total += record.content_size;
    }
    return total;
}

// Plain zlib over the same part with generous buffers; returns the decompressed size.
std::uint64_t read_with_zlib(const package_file& package)
{
    std::FILE* file = std::fopen(package.path.c_str(), "rb");
    if (!file)
        return 0;
    std::fseek(file, long(package.files_offset), SEEK_SET);
    static unsigned char input[65536], output[65536];
    z_stream zlib{};
    inflateInit(&zlib);
    std::uint64_t left = package.files_size, total = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (zlib.avail_in == 0) {
            std::size_t got = std::fread(input, 1, std::min<std::uint64_t>(left, sizeof input), file);
            if (got == 0)
                break;
            left -= got;
            zlib.next_in = input;
            zlib.avail_in = uInt(got);
        }
        zlib.next_out = output;
        zlib.avail_out = sizeof output;
        result = inflate(&zlib, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END)
            break;
        total += sizeof output - zlib.avail_out;
    }
    inflateEnd(&zlib);
    std::fclose(file);
    return total;
}

double seconds_of(const std::function<bool()>& work, bool& ok)
{
    auto start = std::chrono::steady_clock::now();
    ok = work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory (KiB) of reading the package in a child of its own.
long reading_peak_kib(const std::string& path, std::uint64_t expected)
{
    pid_t child = fork();
    if (child == 0)
        _exit(read_with_records(path) == expected ? 0 : 1);
    int status = 0;
    struct rusage usage {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv)
{
    std::filesystem::path work = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::filesystem::create_directories(work);
    package_file large, small;
    std::string large_path = (work / "read_bench_large.vrp").string();
    std::string small_path = (work / "read_bench_small.vrp").string();
    if (!make_package(large_path, 64 * MIB, large) || !make_package(small_path, 4 * MIB, small)) {
        std::fprintf(stderr, "read_bench: cannot write the packages in %s\n", work.c_str());
        return 1;
    }
    std::uint64_t decompressed = 0;
    double best_records = 1e9, best_zlib = 1e9;
    for (int round = 0; round < rounds; ++round) {
        bool ok_zlib = false, ok_records = false;
        double zlib_time = seconds_of([&] { return (decompressed = read_with_zlib(large)) > large.content_bytes; }, ok_zlib);
        double records_time = seconds_of([&] { return read_with_records(large_path) == large.content_bytes; }, ok_records);
        if (!ok_zlib || !ok_records) {
            std::fprintf(stderr, "read_bench: reading the package failed (zlib %d, records %d)\n", ok_zlib, ok_records);
            return 1;
        }
        best_zlib = std::min(best_zlib, zlib_time);
        best_records = std::min(best_records, records_time);
    }
    long small_peak = reading_peak_kib(small_path, small.content_bytes);
    long large_peak = reading_peak_kib(large_path, large.content_bytes);
    std::filesystem::remove(large_path);
    std::filesystem::remove(small_path);
    if (small_peak < 0 || large_peak < 0) {
        std::fprintf(stderr, "read_bench: the measured read failed\n");
        return 1;
    }
    double ratio = best_records / best_zlib;
    std::printf("package %.1f MiB, %u files, %.1f MiB decompressed; best of %d rounds\n",
                double(large.files_offset + large.files_size) / MIB, large.file_count, double(decompressed) / MIB, rounds);
    std::printf("plain zlib inflate              : %7.3f s\n", best_zlib);
    std::printf("part_reader + inflate + records : %7.3f s\n", best_records);
    std::printf("peak memory reading %5.1f MiB package: %6ld KiB; %5.1f MiB package: %6ld KiB\n",
                double(small.files_offset + small.files_size) / MIB, small_peak,
                double(large.files_offset + large.files_size) / MIB, large_peak);
    std::printf("ratio read / zlib : %5.2fx (target <= %.2fx) %s\n", ratio, TARGET_RATIO,
                ratio <= TARGET_RATIO ? "ok" : "OVER");
    // Memory must not follow the package size; a few hundred KiB of noise is allowed.
    bool flat = large_peak <= small_peak + 512;
    std::printf("memory large / small : %5.2fx (target: independent of size) %s\n", double(large_peak) / double(small_peak),
                flat ? "ok" : "OVER");
    return 0;
}
