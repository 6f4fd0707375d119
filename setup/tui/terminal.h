#pragma once

// The screen toolkit of setup: one text terminal, 80 columns, ANSI control sequences on standard
// output, single bytes from standard input.

#include <cstddef>
#include <cstdint>
#include <termios.h>

#include "setup/tui/menu_grid.h"
#include "setup/tui/progress_bar.h"

struct terminal_state {
    termios saved{};  // settings to restore; valid only while raw
    bool raw = false;
};

constexpr int SCREEN_WIDTH = 80;
constexpr int WRAP_WIDTH = 78;

// Bits for set_attributes.
constexpr unsigned ATTRIBUTE_UNDERLINE = 1;
constexpr unsigned ATTRIBUTE_REVERSE = 2;
constexpr unsigned ATTRIBUTE_BLINK = 4;
constexpr unsigned ATTRIBUTE_BOLD = 8;

// Keys as they arrive.
constexpr int KEY_ENTER = '\n';
constexpr int KEY_BACKSPACE = 127;
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_BELL = 7;
// What read_key gives at end of input (and what a typed 0xFF byte looks like, too).
constexpr int KEY_END_OF_INPUT = 0xFF;

// Output primitives, all to standard output.
void move_cursor(int column, int row);  // column 0 is the left edge
void clear_screen();
void set_cursor_hidden(bool hidden);
void clear_line();
void set_attributes(unsigned flags);
void print_line(const char* text, size_t length, bool centred);
void print_lines(const char* text, bool centred);
void print_wrapped(const char* text, bool centred);
void ring_bell();  // the bell byte, flushed

// Terminal mode of standard input. Failing terminal calls (standard input is not a terminal) are
// ignored.
void disable_line_editing();
void enter_raw_mode(terminal_state& state);
void leave_raw_mode(terminal_state& state);

// One byte of standard input (0..255), or KEY_END_OF_INPUT when the input has ended or failed.
// Pending output is flushed first so that the screen is complete while we wait.
int read_key();
// True once read_key has seen the end of the input; later reads return KEY_END_OF_INPUT at once.
bool input_ended();

// Input operations. At end of input the questions take the answer "no", fields take what was typed
// so far, and read_address takes its default (0 when there is none), so that nothing waits forever on
// a console that is gone.
bool ask_yes_no(const char* question);
bool ask_yes_no_visible(const char* question);
void wait_for_key(int key);
void edit_field(const char* label, const char* default_text, char* out, size_t size);
// Returns the address in network byte order; default_address (also in network order) 0 means none.
uint32_t read_address(const char* label, uint32_t default_address);
