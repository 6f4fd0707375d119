// Times installer-query on the file collection benchmark's database (1,000 packages owning
// 200,000 files): `list` against `ls -R` of the database, `verify` of everything against a
// `find` over the same files, and `owner` of one path against its limit of 0.2 s.
//
// usage: query_bench INSTALLER_QUERY [WORK_DIR] [ROUNDS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_tree.h"

using namespace bench_tree;

namespace {

double best_seconds(const std::vector<std::string>& arguments, int rounds, measurement& last)
{
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        last = run(arguments);
        best = std::min(best, last.seconds);
    }
    return best;
}

bool report(const char* what, double seconds, double baseline, double limit)
{
    double ratio = seconds / baseline;
    bool ok = ratio <= limit;
    std::printf("ratio %s: %.2f (%.3f s / %.3f s; target %.2f) %s\n", what, ratio, seconds, baseline, limit,
                ok ? "ok" : "OVER");
    return ok;
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

    double ls = best_seconds({"ls", "-R", base + "/var/pdb"}, rounds, last);
    double list = best_seconds({query, "-r", base, "list"}, rounds, last);
    bool sound = last.status == 0 && last.output.find("pkg0999") != std::string::npos;

    double find = best_seconds({"find", base + "/tree", "-type", "f"}, rounds, last);
    double verify = best_seconds({query, "-r", base, "verify"}, rounds, last);
    sound = sound && last.status == 0 && last.output.find("checked 200000 files of 1000 packages: no problems") != std::string::npos;

    std::string path = "/" + file_path(PACKAGES - 1, DIRECTORIES_PER_PACKAGE - 1, FILES_PER_DIRECTORY - 1);
    double owner = best_seconds({query, "-r", base, "owner", path}, rounds, last);
    sound = sound && last.status == 0 && last.output.find(package_name(PACKAGES - 1)) != std::string::npos;
    if (!sound) {
        std::fprintf(stderr, "installer-query gave a wrong answer (status %d): %s\n", last.status, last.output.c_str());
        return 1;
    }

    std::printf("best of %d runs\n", rounds);
    report("list / ls -R", list, ls, 2.0);
    report("verify / find", verify, find, 2.0);
    report("owner / 0.2 s", owner, 0.2, 1.0);
    std::filesystem::remove_all(root);
    return 0;
}
