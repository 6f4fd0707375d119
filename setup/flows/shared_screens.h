#pragma once

#include "setup/flows/setup_context.h"

// Raw mode, cursor hidden, cleared screen, the welcome line with the subtitle and the abort hint.
void show_welcome(setup_context& context, const char* subtitle);
// The warning and "Continue?"; true when the user agrees to erase the disk.
bool confirm_erase(setup_context& context);
// "Do you want to keep old configuration? "; true for yes.
bool ask_keep_config();
// Asked when the configuration to keep is there but could not be copied: true when the user would
// rather install without it than stop with the disk untouched.
bool ask_go_on_without_config();
