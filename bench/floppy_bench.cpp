// Verifies and copies a full 1.44 MB floppy part into a pipe the way setup does (copy_floppy_part),
// and, in the same run, zlib's crc32 over the same bytes followed by a plain copy in 4 KiB pieces
// into the same pipe. Prints the best times, their ratio, and the peak memory growth of one copy
// (in a child of its own) against the payload plus one group.
//
// usage: floppy_bench [WORK_DIR] [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include "common/floppy_group.h"
#include "setup/disk/floppy_part_copy.h"

namespace {

constexpr double TARGET_RATIO = 1.5;
constexpr std::uint64_t CAPACITY = 1457664;
// Stdio buffers, the stack and the allocator's own pages.
constexpr long SLACK_KIB = 256;

floppy_set_header default_layout()
{
    floppy_set_header header;
    header.magic = FLOPPY_PART_MAGIC;
    header.set_identifier = 0xbe9c;
    header.part_count = 1;
    header.block_size = 512;
    header.blocks_per_group = 16;
    header.parity_blocks = 1;
    std::uint64_t groups = (CAPACITY - FLOPPY_HEADER_SIZE) / floppy_group_bytes(header);
    header.payload_length = std::uint32_t(groups * floppy_block_data_size(header) * floppy_data_blocks(header));
    return header;
}

bool write_part(const std::string& path, const floppy_set_header& header)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    unsigned char raw[FLOPPY_HEADER_SIZE];
    encode_floppy_header(header, raw);
    std::fwrite(raw, 1, sizeof raw, file);
    std::string group(floppy_group_bytes(header), '\0');
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (std::uint64_t g = floppy_group_count(header); g > 0; --g) {
        for (char& byte : group) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = char(state >> 56);
        }
        seal_floppy_group(reinterpret_cast<unsigned char*>(group.data()), header);
        std::fwrite(group.data(), 1, group.size(), file);
    }
    return std::fclose(file) == 0;
}

// A reader at the far end of the pipe that throws everything away, as a fast installer would.
pid_t start_drain(int& writer)
{
    int ends[2];
    if (pipe(ends) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        close(ends[1]);
        static char buffer[65536];
        while (read(ends[0], buffer, sizeof buffer) > 0) {
        }
        _exit(0);
    }
    close(ends[0]);
    writer = ends[1];
    return child;
}

bool setup_copy(const std::string& path, std::FILE* pipe_stream, std::uint32_t payload)
{
    std::FILE* part = std::fopen(path.c_str(), "rb");
    floppy_set_header set;
    int copied = copy_floppy_part(set, part, pipe_stream);
    std::fclose(part);
    return copied == int(payload);
}

bool plain_copy(const std::string& path, std::FILE* pipe_stream, std::uint64_t size, std::uint32_t& sum)
{
    std::FILE* part = std::fopen(path.c_str(), "rb");
    std::string bytes(size, '\0');
    bool ok = std::fread(bytes.data(), 1, size, part) == size;
    std::fclose(part);
    sum = std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(size)));
    for (std::uint64_t at = 0; ok && at < size; at += 4096)
        ok = std::fwrite(bytes.data() + at, 1, std::min<std::uint64_t>(4096, size - at), pipe_stream) > 0;
    return ok && std::fflush(pipe_stream) == 0;
}

template <typename work_type>
double seconds_of(work_type work, bool& ok)
{
    auto start = std::chrono::steady_clock::now();
    ok = work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident growth (KiB) of one copy, in a child of its own; -1 when the copy fails. A copy of
// a one-group part first brings in the code and the stdio buffers, which are not the copy's memory.
long copy_growth_kib(const std::string& path, std::uint32_t payload, const std::string& warm_up, std::uint32_t warm_up_payload)
{
    int report[2];
    if (pipe(report) != 0)
        return -1;
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        std::FILE* sink = std::fopen("/dev/null", "w");
        setup_copy(warm_up, sink, warm_up_payload);
        struct rusage before {}, after {};
        getrusage(RUSAGE_SELF, &before);
        bool ok = setup_copy(path, sink, payload);
        getrusage(RUSAGE_SELF, &after);
        dprintf(report[1], "%ld\n", ok ? after.ru_maxrss - before.ru_maxrss : -1L);
        _exit(0);
    }
    close(report[1]);
    char text[32] = {};
    ssize_t got = child < 0 ? -1 : read(report[0], text, sizeof text - 1);
    close(report[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return got > 0 ? std::atol(text) : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::filesystem::path work = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::filesystem::create_directories(work);
    std::string path = (work / "kestrova.n00").string();
    floppy_set_header header = default_layout();
    if (!write_part(path, header)) {
        std::fprintf(stderr, "floppy_bench: cannot write %s\n", path.c_str());
        return 1;
    }
    std::uint64_t size = std::filesystem::file_size(path);
    floppy_set_header small = header;
    small.payload_length = floppy_block_data_size(header) * floppy_data_blocks(header);
    std::string small_path = (work / "small.n00").string();
    if (!write_part(small_path, small)) {
        std::fprintf(stderr, "floppy_bench: cannot write %s\n", small_path.c_str());
        return 1;
    }
    // Measured first: a child inherits its parent's high-water mark, which the timed rounds raise.
    long growth = copy_growth_kib(path, header.payload_length, small_path, small.payload_length);
    std::filesystem::remove(small_path);
    if (growth < 0) {
        std::fprintf(stderr, "floppy_bench: the measured copy failed\n");
        return 1;
    }
    // The progress bar goes where nobody reads it.
    std::fflush(stdout);
    int console = dup(1);
    int quiet = open("/dev/null", O_WRONLY);
    int writer = -1;
    pid_t drain = start_drain(writer);
    std::FILE* pipe_stream = fdopen(writer, "w");
    double best_setup = 1e9, best_plain = 1e9;
    bool ok_all = true;
    std::uint32_t sum = 0;
    for (int round = 0; round < rounds; ++round) {
        bool ok_setup = false, ok_plain = false;
        dup2(quiet, 1);
        double setup_time = seconds_of([&] { return setup_copy(path, pipe_stream, header.payload_length); }, ok_setup);
        std::fflush(stdout);
        dup2(console, 1);
        double plain_time = seconds_of([&] { return plain_copy(path, pipe_stream, size, sum); }, ok_plain);
        ok_all = ok_all && ok_setup && ok_plain;
        best_setup = std::min(best_setup, setup_time);
        best_plain = std::min(best_plain, plain_time);
    }
    std::fclose(pipe_stream);
    waitpid(drain, nullptr, 0);
    if (!ok_all) {
        std::fprintf(stderr, "floppy_bench: a copy failed\n");
        return 1;
    }

    std::filesystem::remove(path);
    long allowed = long((header.payload_length + floppy_group_bytes(header)) / 1024) + SLACK_KIB;
    double ratio = best_setup / best_plain;
    std::printf("part %llu bytes, payload %u bytes in %llu groups; best of %d rounds\n",
                static_cast<unsigned long long>(size), header.payload_length,
                static_cast<unsigned long long>(floppy_group_count(header)), rounds);
    std::printf("zlib crc32 + plain copy into a pipe : %7.4f s\n", best_plain);
    std::printf("copy_floppy_part into a pipe        : %7.4f s\n", best_setup);
    std::printf("ratio copy / crc32+copy : %5.2fx (target <= %.2fx) %s\n", ratio, TARGET_RATIO,
                ratio <= TARGET_RATIO ? "ok" : "OVER");
    std::printf("memory peak growth %ld KiB, payload + one group + %ld KiB slack = %ld KiB %s\n", growth, SLACK_KIB,
                allowed, growth <= allowed ? "ok" : "OVER");
    return 0;
}
