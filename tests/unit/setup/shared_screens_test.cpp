#include <gtest/gtest.h>
#include <string>
#include <time.h>

#include "setup/console_capture.h"
#include "setup/flows/progress_dots.h"
#include "setup/flows/shared_screens.h"

TEST(shared_screens, welcome_and_questions_are_exact)
{
    setup_context context{};
    EXPECT_EQ(conversation("", [&] { show_welcome(context, "floppy installation"); }),
              "\x1b[?25l\x1b[H\x1b[2JWelcome to Kestrova Router Software floppy installation\n"
              "Press Ctrl-Alt-Delete to abort\n");

    struct question_case {
        const char* keys;
        bool erase;
        bool answer;
        std::string screen;
    };
    const question_case cases[] = {
        {"y", true, true, "Warning: all data on the disk will be erased!\n\nContinue? [y/n]:y\n\n"},
        {"xn", true, false, "Warning: all data on the disk will be erased!\n\nContinue? [y/n]:\x07n\n"},
        {"", true, false, "Warning: all data on the disk will be erased!\n\nContinue? [y/n]:n\n"},
        {"Y", false, true, "Do you want to keep old configuration?  [y/n]:y\n\n"},
        {"n", false, false, "Do you want to keep old configuration?  [y/n]:n\n\n"},
    };
    for (const auto& c : cases) {
        bool answer = !c.answer;
        std::string screen = conversation(c.keys, [&] {
            answer = c.erase ? confirm_erase(context) : ask_keep_config();
        });
        EXPECT_EQ(answer, c.answer) << c.keys;
        EXPECT_EQ(screen, c.screen) << c.keys;
    }
}

TEST(shared_screens, progress_prints_a_dot_per_second_until_stopped)
{
    setup_context context{};
    std::string shown;
    {
        captured_output screen;
        progress_start(context, "Formatting disk...");
        // Sleeping is cut short by every dot; keep sleeping until the time is really over.
        timespec left{2, 500000000};
        while (nanosleep(&left, &left) != 0) {
        }
        progress_stop(context);
        timespec after{1, 200000000};
        while (nanosleep(&after, &after) != 0) {
        }
        shown = screen.finish();
    }
    // Two dots are due in 2.5 s; a loaded machine may deliver a timer late, so one to three dots
    // pass, but nothing may follow the newline once the dots are stopped.
    const std::string message = "Formatting disk...";
    ASSERT_EQ(shown.substr(0, message.size()), message);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), '\n');
    std::string dots = shown.substr(message.size(), shown.size() - message.size() - 1);
    EXPECT_EQ(dots.find_first_not_of('.'), std::string::npos) << shown;
    EXPECT_GE(dots.size(), 1u) << shown;
    EXPECT_LE(dots.size(), 3u) << shown;
}
