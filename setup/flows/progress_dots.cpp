#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "setup/flows/progress_dots.h"

namespace {

void print_dot(int)
{
    int saved_errno = errno;
    if (write(STDOUT_FILENO, ".", 1) < 0) {
        // Nothing to do about a console that is gone.
    }
    alarm(1);
    errno = saved_errno;
}

void set_alarm_action(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGALRM, &action, nullptr) == 0 && handler != SIG_IGN)
        alarm(1);
}

}  // namespace

void progress_start(setup_context&, const char* message)
{
    std::fputs(message, stdout);
    std::fflush(stdout);
    set_alarm_action(print_dot);
}

// The dots are silenced before the newline, so that none can land on the next line.
void progress_stop(setup_context&)
{
    set_alarm_action(SIG_IGN);
    std::putchar('\n');
    std::fflush(stdout);
}
