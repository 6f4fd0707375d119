#include <cstdio>

#include "setup/flows/shared_screens.h"
#include "setup/tui/key_input.h"
#include "setup/tui/screen_output.h"

void show_welcome(setup_context&, const char* subtitle)
{
    enter_raw_mode(console_terminal);
    std::fputs("\x1b[?25l", stdout);
    std::fputs("\x1b[H\x1b[2J", stdout);
    std::printf("Welcome to Kestrova Router Software %s\n", subtitle);
    std::puts("Press Ctrl-Alt-Delete to abort");
    std::fflush(stdout);
}

bool confirm_erase(setup_context&)
{
    std::puts("Warning: all data on the disk will be erased!");
    std::puts("");
    if (!ask_yes_no("Continue?"))
        return false;
    std::puts("");
    return true;
}

bool ask_keep_config()
{
    bool keep = ask_yes_no("Do you want to keep old configuration? ");
    std::puts("");
    return keep;
}

bool ask_go_on_without_config()
{
    std::puts("The old configuration can't be kept: it will be lost if you continue.");
    if (!ask_yes_no("Continue without it?")) {
        std::puts("Nothing has been written to the disk.");
        return false;
    }
    std::puts("");
    return true;
}
