#pragma once

#include <sys/types.h>

// Waits for the one child `child` to end, through any number of interrupting signals. Returns its
// raw wait status, or -1 when it cannot be waited for (already reaped elsewhere, not our child).
int wait_for_child(pid_t child);
