#include "setup/flows/target_disk.h"

// Placeholder until disk detection lands: no disk is ever found.
bool find_target_disk(setup_context&)
{
    return false;
}
