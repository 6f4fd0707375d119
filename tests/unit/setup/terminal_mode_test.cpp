#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "setup/console_capture.h"
#include "setup/tui/key_input.h"
#include "setup/tui/screen_output.h"
#include "setup/tui/terminal_mode.h"
#include "setup/tui/text_field.h"

namespace {

// A pseudo-terminal whose other side stands in for descriptor 0 while the object lives.
class pseudo_terminal_input {
public:
    pseudo_terminal_input()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        int terminal = open(ptsname(master_), O_RDWR | O_NOCTTY);
        if (terminal < 0)
            return;
        saved_ = dup(STDIN_FILENO);
        dup2(terminal, STDIN_FILENO);
        close(terminal);
    }
    ~pseudo_terminal_input()
    {
        if (saved_ >= 0) {
            dup2(saved_, STDIN_FILENO);
            close(saved_);
        }
        if (master_ >= 0)
            close(master_);
    }
    bool ready() const { return saved_ >= 0; }
    termios settings() const
    {
        termios now{};
        tcgetattr(STDIN_FILENO, &now);
        return now;
    }

private:
    int master_ = -1;
    int saved_ = -1;
};

bool line_editing(const termios& settings)
{
    return (settings.c_lflag & ICANON) != 0 || (settings.c_lflag & ECHO) != 0;
}

}  // namespace

TEST(terminal_mode, raw_mode_switches_and_restores)
{
    pseudo_terminal_input terminal;
    ASSERT_TRUE(terminal.ready());
    termios before = terminal.settings();
    ASSERT_TRUE(line_editing(before));

    terminal_state state;
    enter_raw_mode(state);
    EXPECT_TRUE(state.raw);
    termios raw = terminal.settings();
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(raw.c_cc[VMIN], 1);
    EXPECT_EQ(raw.c_cc[VTIME], 0);
    EXPECT_EQ(raw.c_iflag, before.c_iflag);  // Enter still arrives as "\n"
    EXPECT_EQ(raw.c_oflag, before.c_oflag);
    EXPECT_NE(raw.c_lflag & ISIG, 0u);  // Ctrl-C still interrupts

    enter_raw_mode(state);  // a second time must not save the raw settings as the ones to restore
    std::string shown;
    {
        captured_output screen;
        leave_raw_mode(state);
        shown = screen.finish();
    }
    EXPECT_EQ(shown, "\x1b[?25h");
    EXPECT_FALSE(state.raw);
    EXPECT_EQ(terminal.settings().c_lflag, before.c_lflag);

    disable_line_editing();
    EXPECT_FALSE(line_editing(terminal.settings()));
}

TEST(terminal_mode, input_that_is_no_terminal_is_left_alone)
{
    scripted_input keys("\n");
    terminal_state state;
    enter_raw_mode(state);
    EXPECT_FALSE(state.raw);
    disable_line_editing();
    captured_output screen;
    leave_raw_mode(state);
    EXPECT_EQ(screen.finish(), "\x1b[?25h");
}
