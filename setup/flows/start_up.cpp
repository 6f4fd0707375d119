#include "setup/flows/start_up.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"
#include "common/file_descriptor.h"
#include "setup/flows/setup_context.h"
#include "setup/flows/mode_selection.h"
#include "setup/tui/key_input.h"
#include "setup/tui/screen_output.h"
#include "setup/support/process_runner.h"

namespace {

constexpr int RESTART_COMMAND = 0x01234567;

void write_text(const char* text)
{
    write_fully(STDOUT_FILENO, text, std::strlen(text));
}

// Unmounting flushes what is mounted; sync covers whatever could not be unmounted, since a restart
// does not write back anything by itself. `stay` keeps a process that must not end (the first one)
// alive after a restart that failed.
[[noreturn]] void restart_machine(bool stay = false)
{
    sync();
    reboot(RESTART_COMMAND);
    write_text("\nFATAL ERROR: couldn't restart the machine\n");
    while (stay)
        pause();
    _exit(1);
}

// Runs on the main thread whenever an interrupt arrives, while a screen may be half drawn: what the
// screen has buffered goes out first, then our own lines straight to the console.
void abort_installation(int)
{
    if (installation_finished)
        return;
    std::fflush(stdout);
    write_text("\n\nInstallation aborted\n");
    write_text("Press ENTER to reboot\n");
    umount("/mnt/boot");
    umount("/mnt");
    umount("/floppy");
    wait_for_key(KEY_ENTER);
    leave_raw_mode(console_terminal);
    restart_machine();
}

// Reaps without blocking: a signal may stand for a child that a waiting caller collected already.
void reap_child(int)
{
    int saved_errno = errno;
    int status;
    waitpid(-1, &status, WNOHANG);
    errno = saved_errno;
}

void install_handlers()
{
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = abort_installation;
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);

    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);

    action.sa_handler = reap_child;
    action.sa_flags = SA_RESTART;
    sigaction(SIGCHLD, &action, nullptr);
}

// The virtual console when the machine has one; otherwise the first serial line, where background
// output would only garble the screen. Should the serial line not open either, the streams we were
// given stay: closing them would leave their descriptors to whatever file is opened next.
void choose_console()
{
    int fd = open("/dev/tty0", O_WRONLY | O_NOCTTY);
    if (fd >= 0) {
        close(fd);
        return;
    }
    std::strcpy(log_device, "/dev/null");
    fd = open("/dev/ttyS0", O_RDWR | O_NOCTTY);
    if (fd < 0)
        return;
    close(fd);
    std::freopen("/dev/ttyS0", "r", stdin);
    std::freopen("/dev/ttyS0", "w", stdout);
    std::freopen("/dev/ttyS0", "w", stderr);
}

// As the first process we stay in the background and let a child do the work. The child ends the
// run with a restart, which never comes back here; if it ends any other way (a crash, a restart
// that failed), the first process must not end with it, or the kernel halts the machine with a
// panic on the screen: we restart instead. Should even that fail, the first process stays, leaving
// the message of the failure readable.
void run_as_waiting_parent()
{
    pid_t child = fork();
    if (child <= 0)
        return;  // the child, or a single process when there is no child, does the work
    wait_for_child(child);
    restart_machine(getpid() == 1);
}

}  // namespace

[[noreturn]] void setup_main(int argc, char** argv)
{
    if (argc > 0 && argv[0] != nullptr && std::strstr(argv[0], "init") != nullptr)
        run_as_waiting_parent();
    choose_console();
    console_terminal = terminal_state{};
    install_handlers();
    load_modules(base_modules);

    setup_context context{};
    select_mode(context, argc, argv);

    leave_raw_mode(console_terminal);
    std::puts("");
    std::puts("Rebooting...");
    std::fflush(stdout);
    restart_machine();
}
