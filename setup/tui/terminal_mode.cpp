#include <cstdio>
#include <unistd.h>

#include "setup/tui/terminal_mode.h"
#include "setup/tui/screen_output.h"

void disable_line_editing()
{
    termios settings;
    if (tcgetattr(STDIN_FILENO, &settings) != 0)
        return;
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

// Input translation and output processing stay as they were, so Enter arrives as "\n" on the
// console and on a serial line alike.
void enter_raw_mode(terminal_state& state)
{
    if (state.raw)
        return;
    if (tcgetattr(STDIN_FILENO, &state.saved) != 0)
        return;  // not a terminal: there is nothing to switch or to restore
    termios raw = state.saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
    state.raw = true;
}

void leave_raw_mode(terminal_state& state)
{
    if (state.raw) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &state.saved);
        state.raw = false;
    }
    set_cursor_hidden(false);
    std::fflush(stdout);
}
