// Times `installer --filegc` on a database of 1,000 packages holding 200,000 files against a
// plain `find DIR -type f` walk of the same tree (which goes first alternates from round to round),
// and weighs its peak memory against the bytes of the owned file names.
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

    std::size_t name_bytes = 0;
    for (int package = 0; package < PACKAGES; ++package)
        for (int directory = 0; directory < DIRECTORIES_PER_PACKAGE; ++directory)
            for (int file = 0; file < FILES_PER_DIRECTORY; ++file)
                name_bytes += 1 + file_path(package, directory, file).size();

    std::vector<double> time_ratios, memory_ratios;
    std::string tree = (root / "tree").string();
    run({"find", tree, "-type", "f"});  // warm the caches for both
    for (int round = 0; round < rounds; ++round) {
        add_strays(root);
        measurement walk, collection;
        if (round % 2 == 0)
            walk = run({"find", tree, "-type", "f"});
        collection = run({installer, "-r", root.string(), "--filegc", "/tree"});
        if (round % 2 != 0)
            walk = run({"find", tree, "-type", "f"});
        std::size_t seen = count_lines(walk.output);
        std::size_t after = count_lines(run({"find", tree, "-type", "f"}).output);
        std::size_t before = round % 2 == 0 ? seen : after + PACKAGES;
        if (collection.status != 0 || !collection.output.empty() || before != after + PACKAGES ||
            !std::filesystem::exists(root / file_path(PACKAGES - 1, 9, 19))) {
            std::fprintf(stderr, "collection went wrong: status %d, %zu files before, %zu after, output: %s\n",
                         collection.status, before, after, collection.output.c_str());
            return 1;
        }
        std::printf("round %d (%s first): filegc %.3f s, peak %ld KiB; find %.3f s, peak %ld KiB\n", round + 1,
                    round % 2 == 0 ? "find" : "filegc", collection.seconds, collection.peak_kb, walk.seconds,
                    walk.peak_kb);
        time_ratios.push_back(collection.seconds / walk.seconds);
        memory_ratios.push_back(static_cast<double>(collection.peak_kb) * 1024 / static_cast<double>(name_bytes));
    }
    std::printf("owned names: %zu bytes\n", name_bytes);
    summary("ratio", "filegc / find", time_ratios, 3.0);
    summary("memory", "filegc peak / owned names", memory_ratios, 2.0);
    std::filesystem::remove_all(root);
    return 0;
}
