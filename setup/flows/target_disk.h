#pragma once

#include "setup/flows/setup_context.h"

// The steps every installation mode shares on the hard disk. The flows call them in this order:
// find_target_disk, (the questions), prepare_target_disk, their own installer runs on "/mnt",
// finish_installation.

// Finds the disk to install on and stores it in the context; false when there is none.
bool find_target_disk(setup_context& context);

// Erases and repartitions the target disk, creates its file systems and boot configuration, and
// leaves it mounted on "/mnt" (and "/mnt/boot") with an empty package database directory. With
// `keep_config` the old system's "/mnt/vorn/store" is carried over the reformatting; if it is there
// but can't be copied, the user decides whether to go on without it, and a no returns false with the
// disk untouched. Nobody is asked when `attended` is false: the disk is then left untouched and the
// result is false.
bool prepare_target_disk(setup_context& context, bool keep_config, bool attended = true);

// Runs the installed system's post-installation script, checks a one-partition disk and unmounts
// everything.
void finish_installation(setup_context& context);
