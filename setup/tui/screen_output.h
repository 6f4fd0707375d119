#pragma once

// The screen of setup: one text terminal, 80 columns, driven with ANSI control sequences on
// standard output.

#include <cstddef>
#include <string>
#include <vector>

constexpr int SCREEN_WIDTH = 80;
constexpr int WRAP_WIDTH = 78;

// Bits for set_attributes.
constexpr unsigned ATTRIBUTE_UNDERLINE = 1;
constexpr unsigned ATTRIBUTE_REVERSE = 2;
constexpr unsigned ATTRIBUTE_BLINK = 4;
constexpr unsigned ATTRIBUTE_BOLD = 8;

void move_cursor(int column, int row);  // column 0 is the left edge
void clear_screen();
void set_cursor_hidden(bool hidden);
void clear_line();
void set_attributes(unsigned flags);
void print_line(const char* text, size_t length, bool centred);
void print_lines(const char* text, bool centred);
// The lines print_wrapped prints, for a caller that has room for only some of them.
std::vector<std::string> wrapped_lines(const char* text);
void print_wrapped(const char* text, bool centred);
constexpr char BELL = 7;
void ring_bell();  // the bell byte, flushed
