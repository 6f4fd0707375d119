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

#include "bench/bench_tree.h"

namespace {

using namespace bench_tree;

std::string stray_path(int package)
{
    return "tree/" + package_name(package) + "/lib00/stray.tmp";
}

void add_strays(const std::filesystem::path& root)
{
    for (int package = 0; package < PACKAGES; ++package)
        std::ofstream(root / stray_path(package));
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
