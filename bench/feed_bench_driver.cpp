// The CD-ROM flow's feed into installer against "cat FILE | installer -r /mnt -", both timed here,
// round by round and alternating. Runs inside an installation root (the namespace harness changes
// into it): /sbin/installer, /bin/sh, /bin/cat and an empty /mnt.
//   feed_bench_driver PACKAGE ROUNDS
// Prints one line per round on standard error: "flow SECONDS cat SECONDS".
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "setup/flows/installer_feed.h"
#include "setup/support/process_runner.h"

namespace {

double now()
{
    timespec moment;
    clock_gettime(CLOCK_MONOTONIC, &moment);
    return double(moment.tv_sec) + double(moment.tv_nsec) / 1e9;
}

// Every round installs into an empty target, as a fresh disk would be.
bool empty_target()
{
    return run_program(nullptr, "/bin/busybox", "rm", "-rf", "/mnt", nullptr) == 0 &&
           run_program(nullptr, "/bin/busybox", "mkdir", "-p", "/mnt/var/pdb", nullptr) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: feed_bench_driver PACKAGE ROUNDS\n");
        return 2;
    }
    const char* package = argv[1];
    int rounds = std::atoi(argv[2]);
    std::snprintf(log_device, LOG_DEVICE_SIZE, "/dev/null");
    std::string pipeline = std::string("/bin/cat ") + package + " | /sbin/installer -r /mnt -";
    for (int round = 0; round < rounds; ++round) {
        // Every other round the pipeline goes first, so that neither side always runs right after
        // the other's files were removed.
        double flow = 0, cat = 0;
        for (int turn = 0; turn < 2; ++turn) {
            bool flow_turn = (turn == 0) == (round % 2 == 0);
            if (!empty_target())
                return 1;
            double started = now();
            bool done = flow_turn ? feed_package_file(package) == feed_status::done
                                  : run_program(nullptr, "/bin/sh", "-c", pipeline.c_str(), nullptr) == 0;
            if (!done)
                return 1;
            (flow_turn ? flow : cat) = now() - started;
        }
        std::fprintf(stderr, "flow %.4f cat %.4f\n", flow, cat);
    }
    return 0;
}
