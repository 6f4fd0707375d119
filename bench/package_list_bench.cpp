// Loads the package list of a medium holding 40 package files of 20 MiB each (headers, a
// description and dependencies in front of a sparse file-data part) and, in the same run, reads
// only the first 4 KiB of every file with `head -c 4096`. Each side runs as its own process; prints
// the bytes each read (rchar of /proc/PID/io, taken while the finished process is still a zombie)
// and the best wall time of several rounds, and their ratios.
//
// usage: package_list_bench [WORK_DIR] [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "common/byte_order.h"
#include "common/part_reader.h"
#include "setup/tui/package_list.h"

namespace {

constexpr int FILE_COUNT = 40;
constexpr std::uint64_t FILE_SIZE = 20ull * 1024 * 1024;
constexpr double TARGET_BYTES_RATIO = 2.0;
constexpr double TARGET_TIME_RATIO = 2.0;

void append_part_header(std::string& out, std::uint16_t type, std::uint32_t size)
{
    unsigned char bytes[6];
    put_u16(bytes, type);
    put_u32(bytes + 2, size);
    out.append(reinterpret_cast<char*>(bytes), sizeof bytes);
}

std::string name_field(const std::string& name)
{
    std::string field(32, '\0');
    field.replace(0, std::min<size_t>(name.size(), 16), name.substr(0, 16));
    return field;
}

// Everything but the file-data payload is written; the payload is a hole.
bool make_package(const std::string& path, int index)
{
    std::string parts;
    append_part_header(parts, 1, 32);
    parts += name_field("package" + std::to_string(index));
    std::string description(1200, 'd');
    append_part_header(parts, 2, static_cast<std::uint32_t>(description.size()));
    parts += description;
    append_part_header(parts, 3, 2 + 5 * 32);
    parts += std::string("\x05\x00", 2);
    for (int i = 0; i < 5; ++i)
        parts += name_field("library" + std::to_string(i));
    std::uint64_t data_size = FILE_SIZE - 8 - parts.size() - 6;
    append_part_header(parts, 4, static_cast<std::uint32_t>(data_size));
    unsigned char head[8];
    put_u32(head, PACKAGE_MAGIC);
    put_u32(head + 4, static_cast<std::uint32_t>(FILE_SIZE - 8));
    std::string bytes(reinterpret_cast<char*>(head), sizeof head);
    bytes += parts;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
              ftruncate(fd, static_cast<off_t>(FILE_SIZE)) == 0;
    close(fd);
    return ok;
}

std::uint64_t read_bytes_of(pid_t pid)
{
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

struct run_result {
    bool ok = false;
    double seconds = 0;
    std::uint64_t bytes = 0;
};

// Runs `child_work` in a child process; its bytes read are taken before it is reaped.
template <typename work_type>
run_result measure(work_type child_work)
{
    run_result result;
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0)
        _exit(child_work() ? 0 : 1);
    if (child < 0)
        return result;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) != 0)
        return result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.bytes = read_bytes_of(child);
    int status = 0;
    waitpid(child, &status, 0);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string work = argc > 1 ? argv[1] : "package-list-bench";
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string medium = work + "/medium";
    std::filesystem::create_directories(medium);
    std::vector<std::string> paths;
    for (int i = 0; i < FILE_COUNT; ++i) {
        paths.push_back(medium + "/package" + std::to_string(i) + ".vrp");
        if (!make_package(paths.back(), i)) {
            std::fprintf(stderr, "cannot write %s\n", paths.back().c_str());
            return 1;
        }
    }
    std::vector<std::string> head_arguments = {"head", "-q", "-c", "4096"};
    head_arguments.insert(head_arguments.end(), paths.begin(), paths.end());

    auto load = [&] {
        // The load reports on standard output; only its result matters here.
        if (!std::freopen("/dev/null", "w", stdout))
            return false;
        package_list list;
        package_list_init(list, medium.c_str());
        return package_list_load(list, true) && list.entries.size() == FILE_COUNT &&
               list.entries[0].description.size() == 1200 && list.entries[0].dependency_count == 5;
    };
    auto head = [&] {
        std::vector<char*> arguments;
        for (std::string& argument : head_arguments)
            arguments.push_back(argument.data());
        arguments.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout))
            return false;
        execvp("head", arguments.data());
        return false;
    };

    run_result best_load, best_head;
    for (int round = 0; round < rounds; ++round) {
        run_result ours = measure(load), theirs = measure(head);
        if (!ours.ok || !theirs.ok) {
            std::fprintf(stderr, "a run failed (load %d, head %d)\n", ours.ok, theirs.ok);
            return 1;
        }
        if (round == 0 || ours.seconds < best_load.seconds)
            best_load = ours;
        if (round == 0 || theirs.seconds < best_head.seconds)
            best_head = theirs;
    }
    std::filesystem::remove_all(work);

    double total_mib = FILE_COUNT * static_cast<double>(FILE_SIZE) / (1024 * 1024);
    std::printf("%d package files, %.0f MiB in all\n", FILE_COUNT, total_mib);
    std::printf("load : %8.2f ms, %8llu bytes read (%.0f per file)\n", best_load.seconds * 1000,
                static_cast<unsigned long long>(best_load.bytes), double(best_load.bytes) / FILE_COUNT);
    std::printf("head : %8.2f ms, %8llu bytes read (%.0f per file)\n", best_head.seconds * 1000,
                static_cast<unsigned long long>(best_head.bytes), double(best_head.bytes) / FILE_COUNT);
    double bytes_ratio = double(best_load.bytes) / double(std::max<std::uint64_t>(best_head.bytes, 1));
    double time_ratio = best_load.seconds / best_head.seconds;
    std::printf("ratio bytes load / head : %5.2fx (target <= %.2fx) %s\n", bytes_ratio, TARGET_BYTES_RATIO,
                bytes_ratio <= TARGET_BYTES_RATIO ? "ok" : "OVER");
    std::printf("ratio time load / head : %5.2fx (target <= %.2fx) %s\n", time_ratio, TARGET_TIME_RATIO,
                time_ratio <= TARGET_TIME_RATIO ? "ok" : "OVER");
    return 0;
}
