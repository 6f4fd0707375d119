#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <string>

#include "setup/tui/text_field.h"
#include "setup/tui/key_input.h"
#include "setup/tui/screen_output.h"

namespace {

void redraw(const char* label, const std::string& buffer)
{
    std::printf("\r%s: %s", label, buffer.c_str());
}

}  // namespace

// The buffer is kept as `size` NUL bytes; `position` counts the characters typed. A shown default
// sits in the buffer without moving the position, so Backspace can't eat into it: typing replaces
// it as a whole.
void edit_field(const char* label, const char* default_text, char* out, size_t size)
{
    if (size == 0)
        return;
    clear_line();
    std::printf("\r%s: ", label);
    std::string buffer(size, '\0');
    size_t position = 0;
    bool default_shown = false;
    if (default_text != nullptr) {
        set_attributes(ATTRIBUTE_REVERSE);
        std::fputs(default_text, stdout);
        set_attributes(0);
        std::memcpy(buffer.data(), default_text, strnlen(default_text, size - 1));
        default_shown = true;
    }
    set_cursor_hidden(false);
    for (;;) {
        int key = read_key();
        // At end of input the field takes what it holds, as if Enter had been pressed.
        if (key == KEY_ENTER || (key == KEY_END_OF_INPUT && input_ended())) {
            if (default_shown)
                redraw(label, buffer);
            std::memcpy(out, buffer.data(), size - 1);
            out[size - 1] = '\0';
            set_cursor_hidden(true);
            std::fflush(stdout);
            return;
        }
        if (key == KEY_BACKSPACE) {
            if (position > 0) {
                buffer[--position] = '\0';
                clear_line();
                redraw(label, buffer);
            }
            continue;
        }
        if (default_shown) {
            clear_line();
            buffer.assign(size, '\0');
            if (size > 1)
                buffer[0] = static_cast<char>(key);
            default_shown = false;
            position = size > 1 ? 1 : 0;
            redraw(label, buffer);
            continue;
        }
        if (position < size - 1) {
            buffer[position++] = static_cast<char>(key);
            std::putchar(key);
        }
    }
}

uint32_t read_address(const char* label, uint32_t default_address)
{
    constexpr size_t ADDRESS_FIELD_SIZE = 20;
    for (;;) {
        char shown[ADDRESS_FIELD_SIZE] = {};
        if (default_address != 0) {
            in_addr address{};
            address.s_addr = default_address;
            std::strncpy(shown, inet_ntoa(address), sizeof shown - 1);
        }
        char text[ADDRESS_FIELD_SIZE];
        edit_field(label, default_address != 0 ? shown : nullptr, text, sizeof text);
        in_addr entered{};
        if (inet_aton(text, &entered) != 0)
            return entered.s_addr;
        if (input_ended())
            return default_address;
    }
}
