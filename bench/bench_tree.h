#pragma once
// The database of the file collection benchmark (1,000 packages owning 200,000 files below
// "/tree") and a runner that times a program on it; shared by the benchmarks that use that tree.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench_tree {

inline constexpr int PACKAGES = 1000;
inline constexpr int DIRECTORIES_PER_PACKAGE = 10;
inline constexpr int FILES_PER_DIRECTORY = 20;  // 1,000 x 10 x 20 = 200,000 owned files

struct measurement {
    double seconds = 0;
    long peak_kb = 0;
    std::string output;
    int status = -1;
};

inline std::string package_name(int index)
{
    char name[16];
    std::snprintf(name, sizeof name, "pkg%04d", index);
    return name;
}

inline std::string file_path(int package, int directory, int file)
{
    char path[96];
    std::snprintf(path, sizeof path, "tree/%s/lib%02d/module-%03d.so", package_name(package).c_str(), directory, file);
    return path;
}

inline bool build_root(const std::filesystem::path& root)
{
    std::filesystem::remove_all(root);
    for (int package = 0; package < PACKAGES; ++package) {
        std::filesystem::path record = root / "var" / "pdb" / package_name(package);
        std::filesystem::create_directories(record);
        std::ofstream(record / "version") << (0x01006600u + package) << " 1\n";
        std::ofstream(record / "deps") << (package == 0 ? "" : "pkg0000 0 0\n");
        std::ofstream files(record / "files");
        for (int directory = 0; directory < DIRECTORIES_PER_PACKAGE; ++directory) {
            std::filesystem::create_directories((root / file_path(package, directory, 0)).parent_path());
            for (int file = 0; file < FILES_PER_DIRECTORY; ++file) {
                std::string path = file_path(package, directory, file);
                files << path << '\n';
                std::ofstream(root / path);
            }
        }
        if (!files)
            return false;
    }
    return true;
}

inline double now()
{
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

// Runs the program with its standard output read back. Its peak memory comes from GNU time, which
// starts it from a small process of its own: a process keeps the peak of what it was before an
// exec, and a child of this one starts out as large as the output collected so far.
inline measurement run(const std::vector<std::string>& arguments)
{
    measurement result;
    int channel[2];
    if (::pipe(channel) != 0)
        return result;
    char report[] = "/tmp/bench-peak-XXXXXX";
    int report_fd = ::mkstemp(report);
    if (report_fd < 0)
        return result;
    ::close(report_fd);
    double start = now();
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(channel[1], STDOUT_FILENO);
        ::close(channel[0]);
        ::close(channel[1]);
        std::vector<const char*> argv = {"/usr/bin/time", "-q", "-f", "%M", "-o", report};
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        argv.push_back(nullptr);
        ::execv(argv[0], const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    ::close(channel[1]);
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    ::waitpid(child, &result.status, 0);
    result.seconds = now() - start;
    std::ifstream(report) >> result.peak_kb;
    ::unlink(report);
    return result;
}

// One line for run.sh: the median of the rounds, their range and the verdict; kind is "ratio" or
// "memory". Returns whether the median meets the target.
inline bool summary(const char* kind, const char* label, std::vector<double> values, double target)
{
    std::sort(values.begin(), values.end());
    std::size_t count = values.size();
    double median = count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
    bool ok = median <= target;
    std::printf("%s %s: median %.2f (range %.2f-%.2f over %zu runs; target <= %g) %s\n", kind, label, median,
                values.front(), values.back(), count, target, ok ? "ok" : "OVER");
    return ok;
}

}  // namespace bench_tree
