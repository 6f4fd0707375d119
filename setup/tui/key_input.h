#pragma once

// Single bytes from standard input, and the questions answered with one key.

// Keys as they arrive.
constexpr int KEY_ENTER = '\n';
constexpr int KEY_BACKSPACE = 127;
constexpr int KEY_ESCAPE = 27;
// What read_key gives at end of input (and what a typed 0xFF byte looks like, too).
constexpr int KEY_END_OF_INPUT = 0xFF;

// One byte of standard input (0..255), or KEY_END_OF_INPUT when the input has ended or failed.
// Pending output is flushed first so that the screen is complete while we wait.
int read_key();
// True once read_key has seen the end of the input; later reads return KEY_END_OF_INPUT at once.
bool input_ended();

// At end of input the questions take the answer "no", so that nothing waits forever on a console
// that is gone.
bool ask_yes_no(const char* question);
bool ask_yes_no_visible(const char* question);
void wait_for_key(int key);
