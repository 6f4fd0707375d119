// The first process of the installation system in the virtual-machine tests, in place of setup
// until the installation flows drive the disk steps themselves. It takes setup's part: serial
// console, the same signal handling, then the target disk steps in the order the flows call them.
// What to do comes from /etc/disk_test.conf on the test's own addition to the initramfs:
//   keep_config 0|1     answer to "keep old configuration?"
//   log_console 0|1     send the tools' output to the console instead of /dev/null
// Every result is printed as a "TEST:" line for the runner outside. The driver also puts itself on
// the new system as "/bin/bash", to see where the post-installation script would start.
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/wait.h>
#include <unistd.h>

#include "setup/flows/setup_context.h"
#include "setup/flows/target_disk.h"
#include "setup/support/process_runner.h"

namespace {

void reap_child(int)
{
    int status;
    waitpid(-1, &status, WNOHANG);
}

void install_handlers()
{
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
    action.sa_handler = reap_child;
    action.sa_flags = SA_RESTART;
    sigaction(SIGCHLD, &action, nullptr);
}

int setting(const char* name, int fallback)
{
    FILE* file = fopen("/etc/disk_test.conf", "r");
    if (!file)
        return fallback;
    char key[64];
    int value;
    int result = fallback;
    while (fscanf(file, "%63s %d", key, &value) == 2)
        if (strcmp(key, name) == 0)
            result = value;
    fclose(file);
    return result;
}

// Run again by finish_installation as the new system's "/bin/bash": records, by a relative path,
// where the post-installation script starts.
int report_postinstall_directory()
{
    char directory[256];
    FILE* record = fopen("postinstall.cwd", "w");
    if (!record)
        return 1;
    fprintf(record, "%s\n", getcwd(directory, sizeof directory) ? directory : "unreachable");
    fclose(record);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 0 && strcmp(argv[0], "/bin/bash") == 0)
        return report_postinstall_directory();
    setvbuf(stdout, nullptr, _IOLBF, 0);
    install_handlers();
    snprintf(log_device, LOG_DEVICE_SIZE, "%s", setting("log_console", 0) ? "/dev/console" : "/dev/null");
    mount("proc", "/proc", "proc", 0, nullptr);

    setup_context context{};
    bool found = find_target_disk(context);
    printf("TEST: found=%d\n", found);
    if (found) {
        const disk_info& disk = context.target_disk;
        printf("TEST: disk=%s cylinders=%u cylinder_bytes=%u two_partitions=%d journal=%d\n", disk.device,
               disk.cylinders, disk.cylinder_bytes, disk.two_partitions, disk.journal);
        bool prepared = prepare_target_disk(context, setting("keep_config", 0) != 0);
        printf("TEST: prepared=%d\n", prepared);
        if (prepared) {
            // The package database directory must be there and empty for installer.
            int entries = -1;
            if (FILE* listing = popen("ls -A /mnt/var/pdb | wc -l", "r")) {
                if (fscanf(listing, "%d", &entries) != 1)
                    entries = -1;
                pclose(listing);
            }
            printf("TEST: pdb_entries=%d\n", entries);
            if (system("mkdir -p /mnt/bin && cp /sbin/init /mnt/bin/bash") != 0)
                puts("TEST: no post-installation probe");
            finish_installation(context);
        }
    }
    sync();
    puts("TEST: done");
    reboot(RB_AUTOBOOT);
    return 0;
}
