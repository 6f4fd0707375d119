#include "setup/support/process_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_wait.h"

char log_device[LOG_DEVICE_SIZE] = "/dev/tty9";
pid_t pipe_child = -1;

const char* const base_modules[] = {"fat",     "vfat",     "isofs",    "cdrom", "ide-cd",
                                    "usbcore", "usb-uhci", "usb-ohci", "hid",   nullptr};

const char* const network_modules[] = {
    "crc32",   "mii",     "slhc",        "8390",    "hp100",     "ne2k-pci", "lance",   "3c509",
    "3c59x",   "sis900",  "8139too",     "pcnet32", "winbond-840", "dmfe", "tulip",   "ns83820",
    "sundance", "via-rhine", "e100",     "e1000",   "sk98lin",   "tg3",      "natsemi", "b44",
    "tlan",    "velocityget", "il",      "r8169",   "rtl8150",   "pegasus",  nullptr};

namespace {

constexpr int VECTOR_SIZE = MAX_PROGRAM_ARGUMENTS + 2;
constexpr int EXIT_CANNOT_START = 127;
// Children get a clean descriptor table; anything we hold above this is not expected.
constexpr int CHILD_DESCRIPTOR_LIMIT = 1024;

struct argument_vector {
    const char* entries[VECTOR_SIZE] = {};
    bool quiet = false;
};

// Collects the path and the arguments up to the null. With `drop_null_marker`, every ">null" is left
// out and remembered. More arguments than fit make the vector unusable rather than cut short, since a
// shortened command line would run a different command.
bool build_vector(argument_vector& vector, const char* path, va_list arguments, bool drop_null_marker)
{
    int count = 0;
    vector.entries[count++] = path;
    for (const char* argument = va_arg(arguments, const char*); argument != nullptr;
         argument = va_arg(arguments, const char*)) {
        if (drop_null_marker && std::strcmp(argument, ">null") == 0) {
            vector.quiet = true;
            continue;
        }
        if (count > MAX_PROGRAM_ARGUMENTS)
            return false;
        vector.entries[count++] = argument;
    }
    vector.entries[count] = nullptr;
    return true;
}

// While we wait for a child of our own, the start-up code's SIGCHLD handler must not reap it first,
// or a program that succeeded would look like a failed wait.
struct child_signal_block {
    sigset_t previous;
    void block()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGCHLD);
        sigprocmask(SIG_BLOCK, &set, &previous);
    }
    void restore() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
};

child_signal_block pipe_signal_block;

// Puts `fd` onto `target` and closes the original.
void move_descriptor(int fd, int target)
{
    if (fd == target || fd < 0)
        return;
    dup2(fd, target);
    close(fd);
}

// Opens `path` onto descriptor `target`; a log device that can't be opened falls back to /dev/null so
// that the descriptor is never left free for the program's own files. Appending lets a log device
// that is a plain file collect the output of every program instead of each overwriting the last.
void open_onto(const char* path, int flags, int target)
{
    if ((flags & O_ACCMODE) == O_WRONLY)
        flags |= O_APPEND;
    int fd = open(path, flags);
    if (fd < 0)
        fd = open("/dev/null", flags);
    if (fd >= 0 && fd != target)
        move_descriptor(fd, target);
}

void close_descriptors_from(int first)
{
    for (int fd = first; fd < CHILD_DESCRIPTOR_LIMIT; ++fd)
        close(fd);
}

// Moves a descriptor out of the range 0..2 that the child is about to fill.
int lift_descriptor(int fd)
{
    if (fd > 2)
        return fd;
    int lifted = fcntl(fd, F_DUPFD, 3);
    close(fd);
    return lifted;
}

// A program starts with the signal set-up it would get from anyone else: what we ignore for
// ourselves (a broken pipe, the progress timer) is not ignored for it.
[[noreturn]] void exec_child(const argument_vector& vector, const sigset_t& mask)
{
    signal(SIGPIPE, SIG_DFL);
    signal(SIGALRM, SIG_DFL);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    execv(vector.entries[0], const_cast<char* const*>(vector.entries));
    _exit(EXIT_CANNOT_START);
}

FILE* start_piped(const argument_vector& vector, bool child_writes)
{
    if (pipe_child != -1)
        return nullptr;
    int ends[2];
    if (pipe(ends) != 0)
        return nullptr;
    pipe_signal_block.block();
    pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        pipe_signal_block.restore();
        return nullptr;
    }
    if (child == 0) {
        // The child's end of the pipe; the other end is ours only.
        int own = lift_descriptor(child_writes ? ends[1] : ends[0]);
        close(child_writes ? ends[0] : ends[1]);
        if (child_writes) {
            move_descriptor(own, 1);
            open_onto("/dev/null", O_RDONLY, 0);
            open_onto(log_device, O_WRONLY, 2);
        } else {
            move_descriptor(own, 0);
            if (vector.quiet) {
                open_onto(log_device, O_WRONLY, 1);
                dup2(1, 2);
            }
        }
        close_descriptors_from(3);
        exec_child(vector, pipe_signal_block.previous);
    }
    close(child_writes ? ends[1] : ends[0]);
    int ours = child_writes ? ends[0] : ends[1];
    fcntl(ours, F_SETFD, FD_CLOEXEC);
    FILE* stream = fdopen(ours, child_writes ? "r" : "w");
    if (stream == nullptr) {
        // Without a stream nobody could ever close this child; end it here.
        close(ours);
        wait_for_child(child);
        pipe_signal_block.restore();
        return nullptr;
    }
    pipe_child = child;
    return stream;
}

}  // namespace

int run_program_vector(const char* root, const char* const* arguments)
{
    argument_vector vector;
    int count = 0;
    for (; arguments[count] != nullptr; ++count) {
        if (count > MAX_PROGRAM_ARGUMENTS)
            return -1;
        vector.entries[count] = arguments[count];
    }
    if (count == 0)
        return -1;
    vector.entries[count] = nullptr;

    child_signal_block signals;
    signals.block();
    pid_t child = fork();
    if (child < 0) {
        signals.restore();
        return -1;
    }
    if (child == 0) {
        for (int fd = 0; fd < CHILD_DESCRIPTOR_LIMIT; ++fd)
            close(fd);
        open_onto("/dev/null", O_RDONLY, 0);
        open_onto(log_device, O_WRONLY, 1);
        dup2(1, 2);
        // A working directory left outside the new root would make every relative path of the
        // program miss the system it was started for.
        if (root != nullptr && (chroot(root) != 0 || chdir("/") != 0))
            _exit(EXIT_CANNOT_START);
        exec_child(vector, signals.previous);
    }
    int status = wait_for_child(child);
    signals.restore();
    return status;
}

int run_program(const char* root, const char* path, ...)
{
    argument_vector vector;
    va_list arguments;
    va_start(arguments, path);
    bool built = build_vector(vector, path, arguments, false);
    va_end(arguments);
    if (!built)
        return -1;
    return run_program_vector(root, vector.entries);
}

FILE* pipe_from(const char* path, ...)
{
    argument_vector vector;
    va_list arguments;
    va_start(arguments, path);
    bool built = build_vector(vector, path, arguments, false);
    va_end(arguments);
    if (!built)
        return nullptr;
    return start_piped(vector, true);
}

FILE* pipe_to(const char* path, ...)
{
    argument_vector vector;
    va_list arguments;
    va_start(arguments, path);
    bool built = build_vector(vector, path, arguments, true);
    va_end(arguments);
    if (!built)
        return nullptr;
    return start_piped(vector, false);
}

int close_pipe(FILE* stream)
{
    if (pipe_child == -1)
        return -1;
    pid_t child = pipe_child;
    pipe_child = -1;
    int status = -1;
    if (stream != nullptr && fclose(stream) == 0)
        status = wait_for_child(child);
    else if (stream == nullptr)
        status = -1;
    pipe_signal_block.restore();
    return status;
}

void load_modules(const char* const* modules)
{
    for (; *modules != nullptr; ++modules)
        run_program(nullptr, "/sbin/insmod", *modules, nullptr);
}
