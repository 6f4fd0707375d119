// Times installer-query on the file collection benchmark's database (1,000 packages owning
// 200,000 files): `list` against `ls -R` of the database, `verify` of everything against a
// `find` over the same files (which side goes first alternates from round to round), and `owner`
// of one path, and of one no package owns (every list read), against its limit of 0.2 s.
//
// usage: query_bench INSTALLER_QUERY [WORK_DIR] [ROUNDS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "bench/bench_tree.h"

using namespace bench_tree;

namespace {

// The ratio of each round, the two sides in alternating order.
std::vector<double> paired_ratios(const std::vector<std::string>& mine, const std::vector<std::string>& baseline,
                                  int rounds, measurement& last)
{
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        measurement other;
        if (round % 2 == 0)
            other = run(baseline);
        last = run(mine);
        if (round % 2 != 0)
            other = run(baseline);
        ratios.push_back(last.seconds / other.seconds);
    }
    return ratios;
}

std::vector<double> seconds_over(const std::vector<std::string>& arguments, double limit, int rounds,
                                 measurement& last)
{
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        last = run(arguments);
        ratios.push_back(last.seconds / limit);
    }
    return ratios;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s INSTALLER_QUERY [WORK_DIR] [ROUNDS]\n", argv[0]);
        return 2;
    }
    std::string query = std::filesystem::absolute(argv[1]);
    std::filesystem::path root = argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "query_bench_root";
    int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    if (!build_root(root)) {
        std::fprintf(stderr, "could not build the tree\n");
        return 1;
    }
    std::string base = root.string();
    measurement last;
    run({"find", base + "/tree", "-type", "f"});  // warm the caches for all

    auto list = paired_ratios({query, "-r", base, "list"}, {"ls", "-R", base + "/var/pdb"}, rounds, last);
    bool sound = last.status == 0 && last.output.find("pkg0999") != std::string::npos;

    auto verify = paired_ratios({query, "-r", base, "verify"}, {"find", base + "/tree", "-type", "f"}, rounds, last);
    sound = sound && last.status == 0 && last.output.find("checked 200000 files of 1000 packages: no problems") != std::string::npos;

    std::string path = "/" + file_path(PACKAGES - 1, DIRECTORIES_PER_PACKAGE - 1, FILES_PER_DIRECTORY - 1);
    auto owner = seconds_over({query, "-r", base, "owner", path}, 0.2, rounds, last);
    sound = sound && last.status == 0 && last.output.find(package_name(PACKAGES - 1)) != std::string::npos;
    auto no_owner = seconds_over({query, "-r", base, "owner", "/tree/unowned"}, 0.2, rounds, last);
    sound = sound && WIFEXITED(last.status) && WEXITSTATUS(last.status) == 1 && last.output.find("not owned") != std::string::npos;
    if (!sound) {
        std::fprintf(stderr, "installer-query gave a wrong answer (status %d): %s\n", last.status, last.output.c_str());
        return 1;
    }

    summary("ratio", "list / ls -R", list, 2.0);
    summary("ratio", "verify / find", verify, 1.5);
    summary("ratio", "owner / 0.2 s", owner, 1.0);
    summary("ratio", "owner of an unowned path / 0.2 s", no_owner, 1.0);
    std::filesystem::remove_all(root);
    return 0;
}
