#include "common/child_wait.h"

#include <cerrno>
#include <sys/wait.h>

int wait_for_child(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}
