#pragma once

// The mode of the terminal on standard input. A terminal_state lives for the whole run of setup; it
// holds the settings to put back while the terminal is raw. Failing terminal calls (standard input is
// not a terminal) are ignored.

#include <termios.h>

struct terminal_state {
    termios saved{};  // settings to restore; valid only while raw
    bool raw = false;
};

void disable_line_editing();
void enter_raw_mode(terminal_state& state);
void leave_raw_mode(terminal_state& state);
