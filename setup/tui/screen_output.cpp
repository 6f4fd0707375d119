#include <cstdio>
#include <string>
#include <vector>

#include "setup/tui/screen_output.h"

void move_cursor(int column, int row)
{
    std::printf("\x1b[%d;%dH", row, column);
}

void clear_screen()
{
    std::fputs("\x1b[2J\x1b[H", stdout);
}

void set_cursor_hidden(bool hidden)
{
    std::fputs(hidden ? "\x1b[?25l" : "\x1b[?25h", stdout);
}

void clear_line()
{
    std::fputs("\x1b[2K", stdout);
}

void set_attributes(unsigned flags)
{
    std::fputs("\x1b[m", stdout);
    if (flags & ATTRIBUTE_UNDERLINE)
        std::fputs("\x1b[4m", stdout);
    if (flags & ATTRIBUTE_REVERSE)
        std::fputs("\x1b[7m", stdout);
    if (flags & ATTRIBUTE_BLINK)
        std::fputs("\x1b[5m", stdout);
    if (flags & ATTRIBUTE_BOLD)
        std::fputs("\x1b[1m", stdout);
}

void ring_bell()
{
    std::putchar(BELL);
    std::fflush(stdout);
}

void print_line(const char* text, size_t length, bool centred)
{
    if (centred && length < static_cast<size_t>(SCREEN_WIDTH)) {
        for (size_t indent = (SCREEN_WIDTH - length) / 2; indent > 0; --indent)
            std::putchar(' ');
    }
    std::fwrite(text, 1, length, stdout);
    std::putchar('\n');
}

void print_lines(const char* text, bool centred)
{
    const char* start = text;
    for (const char* p = text;; ++p) {
        if (*p == '\n' || *p == '\0') {
            print_line(start, static_cast<size_t>(p - start), centred);
            if (*p == '\0')
                return;
            start = p + 1;
        }
    }
}

// Lines keep the blank after their last word. A word too long for one line is printed on a line of
// its own rather than cut.
std::vector<std::string> wrapped_lines(const char* text)
{
    std::vector<std::string> lines;
    std::string line;
    const char* p = text;
    while (*p != '\0') {
        if (*p == ' ' || *p == '\n') {
            ++p;
            continue;
        }
        const char* word = p;
        while (*p != '\0' && *p != ' ' && *p != '\n')
            ++p;
        size_t length = static_cast<size_t>(p - word);
        if (length + line.size() + 1 > static_cast<size_t>(WRAP_WIDTH)) {
            lines.push_back(line);
            line.clear();
        }
        line.append(word, length);
        line.push_back(' ');
    }
    lines.push_back(line);
    return lines;
}

void print_wrapped(const char* text, bool centred)
{
    for (const std::string& line : wrapped_lines(text))
        print_line(line.data(), line.size(), centred);
}
