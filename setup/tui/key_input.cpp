#include <cctype>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "setup/tui/key_input.h"
#include "setup/tui/screen_output.h"

namespace {

bool last_read_ended = false;

bool ask(const char* question, bool show_cursor)
{
    std::printf("%s [y/n]:", question);
    if (show_cursor)
        set_cursor_hidden(false);
    std::fflush(stdout);
    bool answer = false;
    for (;;) {
        int key = read_key();
        if (key == KEY_END_OF_INPUT && input_ended()) {
            // Nobody can answer any more: take the answer that changes nothing.
            std::fputs("n\n", stdout);
            answer = false;
            break;
        }
        key = std::tolower(key);
        if (key == 'y' || key == 'n') {
            std::printf("%c\n", key);
            answer = key == 'y';
            break;
        }
        ring_bell();
    }
    if (show_cursor)
        set_cursor_hidden(true);
    std::fflush(stdout);
    return answer;
}

}  // namespace

int read_key()
{
    std::fflush(stdout);
    unsigned char byte = 0;
    for (;;) {
        ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got == 1) {
            last_read_ended = false;
            return byte;
        }
        if (got < 0 && errno == EINTR)
            continue;
        last_read_ended = true;
        return KEY_END_OF_INPUT;
    }
}

bool input_ended()
{
    return last_read_ended;
}

bool ask_yes_no(const char* question)
{
    return ask(question, false);
}

bool ask_yes_no_visible(const char* question)
{
    return ask(question, true);
}

void wait_for_key(int key)
{
    for (;;) {
        int got = read_key();
        if (got == key || got == KEY_END_OF_INPUT)
            return;
        ring_bell();
    }
}
