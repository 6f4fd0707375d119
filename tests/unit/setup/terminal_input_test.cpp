#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>

#include "setup/console_capture.h"
#include "setup/tui/key_input.h"
#include "setup/tui/screen_output.h"
#include "setup/tui/terminal_mode.h"
#include "setup/tui/text_field.h"

TEST(terminal_input, yes_no_questions_take_only_y_or_n)
{
    struct question_case {
        const char* keys;
        bool visible;
        bool answer;
        std::string screen;
    };
    const question_case cases[] = {
        {"y", false, true, "Continue? [y/n]:y\n"},
        {"Y", false, true, "Continue? [y/n]:y\n"},
        {"N", false, false, "Continue? [y/n]:n\n"},
        {"1\nq\x1b[Ay", false, true, "Continue? [y/n]:\x07\x07\x07\x07\x07\x07y\n"},
        // Nobody left to answer: the answer that changes nothing.
        {"", false, false, "Continue? [y/n]:n\n"},
        {"\x01", false, false, "Continue? [y/n]:\x07n\n"},
        {"y", true, true, "Keep config? [y/n]:\x1b[?25hy\n\x1b[?25l"},
    };
    for (const auto& c : cases) {
        bool answer = !c.answer;
        std::string screen = conversation(c.keys, [&] {
            answer = c.visible ? ask_yes_no_visible("Keep config?") : ask_yes_no("Continue?");
        });
        EXPECT_EQ(answer, c.answer) << c.keys;
        EXPECT_EQ(screen, c.screen) << c.keys;
    }
}

TEST(terminal_input, waiting_for_a_key_rings_for_others_and_ends_with_input)
{
    EXPECT_EQ(conversation("ab\nc", [] { wait_for_key('\n'); }), "\x07\x07");
    EXPECT_EQ(conversation("ab", [] { wait_for_key('\n'); }), "\x07\x07");
    // The byte 0xFF is what the end of input looks like, so it ends the wait too.
    EXPECT_EQ(conversation("x\xff" "y", [] { wait_for_key('\n'); }), "\x07");
}

TEST(terminal_input, key_reading_reports_end_of_input)
{
    scripted_input keys("a");
    EXPECT_EQ(read_key(), 'a');
    EXPECT_FALSE(input_ended());
    EXPECT_EQ(read_key(), KEY_END_OF_INPUT);
    EXPECT_TRUE(input_ended());
    EXPECT_EQ(read_key(), KEY_END_OF_INPUT);
}

TEST(terminal_input, text_field_edits_and_replaces_its_default)
{
    struct field_case {
        const char* keys;
        const char* default_text;
        size_t size;
        std::string result;
    };
    const field_case cases[] = {
        {"16\n", "24", 10, "16"},
        {"\n", "24", 10, "24"},
        {"\x7f\x7f\n", "24", 10, "24"},
        {"1\x7f" "3\n", "24", 10, "3"},
        {"abc\x7f\x7f" "d\n", nullptr, 10, "ad"},
        {"1234567890\n", nullptr, 10, "123456789"},
        {"\x7f\n", nullptr, 10, ""},
        {"a\x1b[Ab\n", nullptr, 10, "a\x1b[Ab"},
        {"partial", nullptr, 10, "partial"},
        {"", "9600", 10, "9600"},
        {"long\n", "a-default-longer-than-the-field", 6, "long"},
        {"\n", "a-default-longer-than-the-field", 6, "a-def"},
    };
    for (const auto& c : cases) {
        char out[64];
        std::memset(out, 'Z', sizeof out);
        conversation(c.keys, [&] { edit_field("Label", c.default_text, out, c.size); });
        EXPECT_EQ(std::string(out), c.result) << c.keys;
    }
}

TEST(terminal_input, text_field_screen_is_exact)
{
    char out[10];
    const std::string prompt = "\x1b[2K\rbits: ";
    EXPECT_EQ(conversation("\n", [&] { edit_field("bits", "24", out, sizeof out); }),
              prompt + "\x1b[m\x1b[7m24\x1b[m\x1b[?25h\rbits: 24\x1b[?25l");
    EXPECT_EQ(conversation("1\x7f" "6\n", [&] { edit_field("bits", "24", out, sizeof out); }),
              prompt + "\x1b[m\x1b[7m24\x1b[m\x1b[?25h" + "\x1b[2K\rbits: 1" + "\x1b[2K\rbits: " + "6" +
                  "\x1b[?25l");
    EXPECT_EQ(conversation("ab\n", [&] { edit_field("name", nullptr, out, sizeof out); }),
              "\x1b[2K\rname: \x1b[?25hab\x1b[?25l");
}

TEST(terminal_input, address_field_repeats_until_valid)
{
    struct address_case {
        const char* keys;
        const char* default_address;
        const char* result;
        size_t prompts;
    };
    const address_case cases[] = {
        {"192.168.1.254\n", nullptr, "192.168.1.254", 1},
        {"1.2.3.256\n\n10.0.0.1\n", nullptr, "10.0.0.1", 3},
        {"\n", "10.1.2.3", "10.1.2.3", 1},
        {"x\n5.6.7.8\n", "10.1.2.3", "5.6.7.8", 2},
        {"bad", "10.1.2.3", "10.1.2.3", 1},
        {"", nullptr, "0.0.0.0", 1},
    };
    for (const auto& c : cases) {
        uint32_t given = c.default_address ? inet_addr(c.default_address) : 0;
        uint32_t address = 1;
        std::string screen = conversation(c.keys, [&] { address = read_address("Enter IP", given); });
        in_addr shown{};
        shown.s_addr = address;
        EXPECT_STREQ(inet_ntoa(shown), c.result) << c.keys;
        // Each round of the field shows the cursor once.
        size_t prompts = 0;
        for (size_t at = screen.find("\x1b[?25h"); at != std::string::npos;
             at = screen.find("\x1b[?25h", at + 1))
            ++prompts;
        EXPECT_EQ(prompts, c.prompts) << c.keys;
    }
}
