#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "setup/console_capture.h"
#include "setup/tui/key_input.h"
#include "setup/tui/menu_grid.h"
#include "setup/tui/progress_bar.h"
#include "setup/tui/screen_output.h"
#include "setup/tui/terminal_mode.h"
#include "setup/tui/text_field.h"

namespace {

struct output_case {
    const char* name;
    std::function<void()> action;
    std::string expected;
};

std::string output_of(const std::function<void()>& action)
{
    captured_output screen;
    action();
    return screen.finish();
}

void expect_outputs(const std::vector<output_case>& cases)
{
    for (const auto& c : cases)
        EXPECT_EQ(output_of(c.action), c.expected) << c.name;
}

std::string blanks(size_t count)
{
    return std::string(count, ' ');
}

std::string repeated(const std::string& piece, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += piece;
    return out;
}

}  // namespace

TEST(terminal_output, control_sequences_are_exact)
{
    expect_outputs({
        {"cursor row first", [] { move_cursor(26, 5); }, "\x1b[5;26H"},
        {"left edge is column 0", [] { move_cursor(0, 1); }, "\x1b[1;0H"},
        {"clear screen", [] { clear_screen(); }, "\x1b[2J\x1b[H"},
        {"hide cursor", [] { set_cursor_hidden(true); }, "\x1b[?25l"},
        {"show cursor", [] { set_cursor_hidden(false); }, "\x1b[?25h"},
        {"clear line", [] { clear_line(); }, "\x1b[2K"},
        {"plain", [] { set_attributes(0); }, "\x1b[m"},
        {"reverse", [] { set_attributes(ATTRIBUTE_REVERSE); }, "\x1b[m\x1b[7m"},
        {"bold", [] { set_attributes(ATTRIBUTE_BOLD); }, "\x1b[m\x1b[1m"},
        {"all in fixed order", [] { set_attributes(15); }, "\x1b[m\x1b[4m\x1b[7m\x1b[5m\x1b[1m"},
        {"bell", [] { ring_bell(); }, "\x07"},
    });
}

TEST(terminal_output, lines_are_centred_on_80_columns)
{
    std::string wide(80, 'w');
    expect_outputs({
        {"centred", [] { print_line("abc", 3, true); }, blanks(38) + "abc\n"},
        {"not centred", [] { print_line("abc", 3, false); }, "abc\n"},
        {"length counts, not the terminator", [] { print_line("abcdef", 2, false); }, "ab\n"},
        {"79 characters get no indent", [] { print_line(std::string(79, 'x').c_str(), 79, true); },
         std::string(79, 'x') + "\n"},
        {"80 or more are not indented", [wide] { print_line(wide.c_str(), 80, true); }, wide + "\n"},
        {"each segment", [] { print_lines("ab\ncd", false); }, "ab\ncd\n"},
        {"trailing newline gives a blank centred line", [] { print_lines("abcd\n", true); },
         blanks(38) + "abcd\n" + blanks(40) + "\n"},
        {"empty text is one empty line", [] { print_lines("", false); }, "\n"},
    });
}

TEST(terminal_output, wrapping_fills_lines_of_78_with_trailing_blank)
{
    std::string letters = repeated("a ", 78);
    std::string long_words = repeated("abcdefghi\n", 9);
    expect_outputs({
        {"empty text", [] { print_wrapped("", false); }, "\n"},
        {"blanks and newlines collapse", [] { print_wrapped("  one \n\n two  ", false); },
         "one two \n"},
        {"78 one-letter words make two lines of 39", [letters] { print_wrapped(letters.c_str(), false); },
         repeated("a ", 39) + "\n" + repeated("a ", 39) + "\n"},
        {"a line never passes 78", [long_words] { print_wrapped(long_words.c_str(), false); },
         repeated("abcdefghi ", 7) + "\n" + repeated("abcdefghi ", 2) + "\n"},
        {"centred lines count their trailing blank", [] { print_wrapped("hello world", true); },
         blanks(34) + "hello world \n"},
        {"an overlong word stands alone, uncut", [] { print_wrapped(std::string(100, 'z').c_str(), false); },
         "\n" + std::string(100, 'z') + " \n"},
    });
}

TEST(terminal_output, grid_places_items_in_three_columns)
{
    grid_entry entries[7];
    const char* names[7] = {"system", "ppp", "dhcp", "a-name-of-sixteen-and-more", "e", "f", "g"};
    grid_entry* items[7];
    for (int i = 0; i < 7; ++i) {
        entries[i].name = names[i];
        items[i] = &entries[i];
    }
    entries[1].selected = true;
    menu_grid grid;
    grid_init(grid, items, 7, 4);
    EXPECT_EQ(grid.rows, 3u);
    EXPECT_EQ(grid.columns, 3u);
    EXPECT_EQ(grid.current, 0u);

    expect_outputs({
        {"current item reversed", [&] { grid_draw_item(grid, 0); },
         "\x1b[4;0H \x1b[m\x1b[7m [ ] system \x1b[m"},
        {"selected item marked", [&] { grid_draw_item(grid, 1); }, "\x1b[5;0H  [X] ppp "},
        {"second column, name cut at 16", [&] { grid_draw_item(grid, 3); },
         "\x1b[4;26H  [ ] a-name-of-sixtee "},
        {"third column", [&] { grid_draw_item(grid, 6); }, "\x1b[4;52H  [ ] g "},
        {"past the end draws nothing", [&] { grid_draw_item(grid, 7); }, ""},
    });

    std::string all = output_of([&] { grid_draw_all(grid); });
    EXPECT_EQ(all.find("\x1b[4;0H"), 0u);
    EXPECT_NE(all.find("\x1b[6;26H  [ ] f "), std::string::npos);
}

TEST(terminal_output, grid_moves_within_items_and_redraws_both)
{
    grid_entry entries[7];
    grid_entry* items[7];
    for (int i = 0; i < 7; ++i) {
        entries[i].name = "x";
        items[i] = &entries[i];
    }
    struct move_case {
        unsigned from;
        bool (*move)(menu_grid&);
        bool moved;
        unsigned to;
    };
    const move_case cases[] = {
        {0, grid_up, false, 0},   {2, grid_down, true, 3},   {6, grid_down, false, 6},
        {4, grid_right, false, 4}, {3, grid_right, true, 6}, {2, grid_left, false, 2},
        {5, grid_left, true, 2},  {3, grid_up, true, 2},
    };
    for (const auto& c : cases) {
        menu_grid grid;
        grid_init(grid, items, 7, 2);
        grid.current = c.from;
        bool moved = false;
        std::string drawn = output_of([&] { moved = c.move(grid); });
        EXPECT_EQ(moved, c.moved) << c.from;
        EXPECT_EQ(grid.current, c.to) << c.from;
        // Nothing is drawn for a refused move; otherwise the old item, then the new one highlighted.
        size_t highlight = drawn.find("\x1b[7m");
        EXPECT_EQ(drawn.empty(), !c.moved) << c.from;
        EXPECT_EQ(highlight == std::string::npos, !c.moved) << c.from;
    }
    menu_grid grid;
    grid_init(grid, items, 7, 2);
    grid.current = 2;
    EXPECT_EQ(output_of([&] { grid_down(grid); }),
              "\x1b[4;0H  [ ] x \x1b[2;26H \x1b[m\x1b[7m [ ] x \x1b[m");

    menu_grid empty;
    grid_init(empty, nullptr, 0, 2);
    EXPECT_FALSE(grid_down(empty));
    EXPECT_FALSE(grid_right(empty));
    EXPECT_EQ(output_of([&] { grid_draw_all(empty); }), "");
}

TEST(terminal_output, grid_pages_what_does_not_fit_and_keeps_the_current_item_shown)
{
    std::vector<grid_entry> entries(200);
    std::vector<grid_entry*> items;
    for (grid_entry& entry : entries) {
        entry.name = "x";
        items.push_back(&entry);
    }
    struct page_case {
        unsigned count;
        unsigned from;
        bool (*move)(menu_grid&);
        unsigned rows;
        unsigned pages;
        unsigned to;
        std::string page_line;  // "" when the move draws no page line
    };
    const page_case cases[] = {
        // 42 fit in 14 rows: one page, as without a limit.
        {42, 41, grid_down, 14, 1, 41, ""},
        {42, 13, grid_right, 14, 1, 27, ""},
        {42, 0, grid_page_down, 14, 1, 0, ""},
        // 43 take pages of 13 rows, 39 items; the row below them names the page.
        {43, 38, grid_down, 13, 2, 39, "Page 2 of 2 (40-43 of 43 packages)"},
        {43, 39, grid_up, 13, 2, 38, "Page 1 of 2 (1-39 of 43 packages)"},
        {43, 30, grid_right, 13, 2, 30, ""},  // item 43 would be past the end
        {43, 27, grid_right, 13, 2, 40, "Page 2 of 2 (40-43 of 43 packages)"},
        {43, 40, grid_left, 13, 2, 27, "Page 1 of 2 (1-39 of 43 packages)"},
        {43, 20, grid_page_down, 13, 2, 42, "Page 2 of 2"},
        {43, 42, grid_page_down, 13, 2, 42, ""},
        {43, 42, grid_page_up, 13, 2, 3, "Page 1 of 2"},
        {43, 3, grid_page_up, 13, 2, 3, ""},
        {200, 5, grid_page_down, 13, 6, 44, "Page 2 of 6 (40-78 of 200 packages)"},
        {200, 180, grid_page_down, 13, 6, 199, "Page 6 of 6 (196-200 of 200 packages)"},
        // A move within the page redraws two items, no page line.
        {200, 44, grid_down, 13, 6, 45, ""},
    };
    for (const auto& c : cases) {
        menu_grid grid;
        grid_init(grid, items.data(), c.count, 7, 14);
        EXPECT_EQ(grid.rows, c.rows) << c.count << " " << c.from;
        EXPECT_EQ(grid_page_count(grid), c.pages) << c.count << " " << c.from;
        grid.current = c.from;
        std::string drawn = output_of([&] { c.move(grid); });
        EXPECT_EQ(grid.current, c.to) << c.count << " " << c.from;
        if (c.page_line.empty()) {
            EXPECT_EQ(drawn.find("Page"), std::string::npos) << c.count << " " << c.from;
            continue;
        }
        // A turned page clears its 13 rows, draws only its own items and the page line in row 20.
        EXPECT_NE(drawn.find("\x1b[20;0H\x1b[2KPage"), std::string::npos) << drawn;
        EXPECT_NE(drawn.find(c.page_line), std::string::npos) << drawn;
        EXPECT_NE(drawn.find("\x1b[19;0H\x1b[2K"), std::string::npos);
        EXPECT_EQ(drawn.find("\x1b[20;0H "), std::string::npos);
        unsigned first = grid_page(grid) * 39, shown = std::min(39u, c.count - first);
        size_t items_drawn = 0;
        for (size_t at = drawn.find("[ ] x"); at != std::string::npos; at = drawn.find("[ ] x", at + 1))
            ++items_drawn;
        EXPECT_EQ(items_drawn, shown) << drawn;
    }
    menu_grid grid;
    grid_init(grid, items.data(), 43, 7, 14);
    grid.current = 40;
    EXPECT_EQ(output_of([&] { grid_draw_item(grid, 3); }), "");
    EXPECT_EQ(output_of([&] { grid_draw_item(grid, 41); }), "\x1b[9;0H  [ ] x ");
    EXPECT_EQ(output_of([&] { grid_draw_all(grid); }).substr(0, 10), "\x1b[7;0H\x1b[2K");

    // However many pages, the page line stops short of the last column.
    std::vector<grid_entry> lots(60000, grid_entry{"x", false});
    std::vector<grid_entry*> lot_items;
    for (grid_entry& entry : lots)
        lot_items.push_back(&entry);
    grid_init(grid, lot_items.data(), 60000, 7, 14);
    grid.current = 59999;
    std::string drawn = output_of([&] { grid_draw_all(grid); });
    size_t line = drawn.rfind("\x1b[2K") + 4;
    EXPECT_EQ(drawn.substr(line, 49), "Page 1539 of 1539 (59983-60000 of 60000 packages)");
    EXPECT_EQ(drawn.size() - line, 79u);
}

TEST(terminal_output, progress_bar_only_grows)
{
    progress_bar bar;
    progress_bar_init(bar, 10, 100);
    expect_outputs({
        {"nothing before begin", [&] { progress_bar_update(bar, 50); }, ""},
        {"empty frame", [&] { progress_bar_begin(bar); }, "[          ]"},
        {"a third", [&] { progress_bar_update(bar, 33); }, "\r[###"},
        {"less than before draws nothing", [&] { progress_bar_update(bar, 20); }, ""},
        {"same count draws nothing", [&] { progress_bar_update(bar, 39); }, ""},
        {"full", [&] { progress_bar_update(bar, 100); }, "\r[##########"},
        {"never past the width", [&] { progress_bar_update(bar, 500); }, ""},
        {"end", [&] { progress_bar_end(bar); }, "\n"},
    });

    progress_bar large;
    progress_bar_init(large, 70, 4000000000u);
    output_of([&] { progress_bar_begin(large); });
    EXPECT_EQ(output_of([&] { progress_bar_update(large, 2000000000u); }), "\r[" + std::string(35, '#'));

    progress_bar idle;
    progress_bar_init(idle, 5, 10);
    EXPECT_EQ(output_of([&] { progress_bar_end(idle); }), "");
}
