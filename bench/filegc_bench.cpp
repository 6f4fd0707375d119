// Times `installer --filegc` on a database of 1,000 packages holding 200,000 files against a
// plain `find DIR -type f | wc -l` walk of the same tree, and compares their peak memory.
//
// usage: filegc_bench INSTALLER [WORK_DIR] [ROUNDS]
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int PACKAGES = 1000;
constexpr int DIRECTORIES_PER_PACKAGE = 10;
constexpr int FILES_PER_DIRECTORY = 20;  // 1,000 x 10 x 20 = 200,000 owned files

struct measurement {
    double seconds = 0;
    long peak_kb = 0;
    std::string output;
    int status = -1;
};

std::string package_name(int index)
{
    char name[16];
    std::snprintf(name, sizeof name, "pkg%04d", index);
    return name;
}

std::string file_path(int package, int directory, int file)
{
    char path[96];
    std::snprintf(path, sizeof path, "tree/%s/lib%02d/module-%03d.so", package_name(package).c_str(), directory, file);
    return path;
}

std::string stray_path(int package)
{
    return "tree/" + package_name(package) + "/lib00/stray.tmp";
}

bool build_root(const std::filesystem::path& root)
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

void add_strays(const std::filesystem::path& root)
{
    for (int package = 0; package < PACKAGES; ++package)
        std::ofstream(root / stray_path(package));
}

double now()
{
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

// Runs the program with its standard output read back; peak memory is that of the program itself.
measurement run(const std::vector<std::string>& arguments)
{
    measurement result;
    int channel[2];
    if (::pipe(channel) != 0)
        return result;
    double start = now();
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(channel[1], STDOUT_FILENO);
        ::close(channel[0]);
        ::close(channel[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(channel[1]);
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    rusage usage{};
    ::wait4(child, &result.status, 0, &usage);
    result.seconds = now() - start;
    result.peak_kb = usage.ru_maxrss;
    return result;
}

std::size_t count_lines(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s INSTALLER [WORK_DIR] [ROUNDS]\n", argv[0]);
        return 2;
    }
    std::string installer = std::filesystem::absolute(argv[1]);
    std::filesystem::path root = argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "filegc_bench_root";
    int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

    std::fprintf(stderr, "building %d packages with %d files in %s\n", PACKAGES,
                 PACKAGES * DIRECTORIES_PER_PACKAGE * FILES_PER_DIRECTORY, root.c_str());
    if (!build_root(root)) {
        std::fprintf(stderr, "could not build the tree: %s\n", std::strerror(errno));
        return 1;
    }

    std::vector<measurement> collections, walks;
    std::string tree = (root / "tree").string();
    run({"find", tree, "-type", "f"});  // warm the caches for both
    for (int round = 0; round < rounds; ++round) {
        add_strays(root);
        measurement walk = run({"find", tree, "-type", "f"});
        std::size_t before = count_lines(walk.output);
        measurement collection = run({installer, "-r", root.string(), "--filegc", "/tree"});
        std::size_t after = count_lines(run({"find", tree, "-type", "f"}).output);
        if (collection.status != 0 || !collection.output.empty() || before != after + PACKAGES ||
            !std::filesystem::exists(root / file_path(PACKAGES - 1, 9, 19))) {
            std::fprintf(stderr, "collection went wrong: status %d, %zu files before, %zu after, output: %s\n",
                         collection.status, before, after, collection.output.c_str());
            return 1;
        }
        walks.push_back(walk);
        collections.push_back(collection);
    }

    auto best = [](const std::vector<measurement>& runs, auto field) {
        auto value = field(runs.front());
        for (const measurement& m : runs)
            value = std::min(value, field(m));
        return value;
    };
    double collect_seconds = best(collections, [](const measurement& m) { return m.seconds; });
    double walk_seconds = best(walks, [](const measurement& m) { return m.seconds; });
    long collect_kb = best(collections, [](const measurement& m) { return m.peak_kb; });
    long walk_kb = best(walks, [](const measurement& m) { return m.peak_kb; });

    std::printf("filegc: %.3f s, peak %ld KiB (best of %d; removed %d strays of %d files each round)\n", collect_seconds,
                collect_kb, rounds, PACKAGES, PACKAGES * DIRECTORIES_PER_PACKAGE * FILES_PER_DIRECTORY + PACKAGES);
    std::printf("find | wc -l: %.3f s, peak %ld KiB\n", walk_seconds, walk_kb);
    std::printf("time ratio: %.2f\n", collect_seconds / walk_seconds);
    std::printf("memory ratio: %.2f\n", static_cast<double>(collect_kb) / static_cast<double>(walk_kb));
    std::filesystem::remove_all(root);
    return 0;
}
