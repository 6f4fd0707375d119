#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "setup/support/untrusted_text.h"
#include "setup/tui/key_input.h"
#include "setup/tui/package_menu.h"
#include "setup/tui/package_selection.h"
#include "setup/tui/screen_output.h"

namespace {

constexpr int GRID_TOP_ROW = 7;
// Rows 7 to 20: 42 packages in three columns; more are shown a page at a time.
constexpr unsigned GRID_SCREEN_ROWS = 14;
constexpr int INFORMATION_ROW = 21;
constexpr int INFORMATION_ROWS = 3;
constexpr int LEAVE_ROW = 25;
// A dependency list too long for one screen line is cut and marked, so that the line never wraps
// over the description below it.
constexpr size_t INFORMATION_WIDTH = SCREEN_WIDTH;
constexpr std::string_view CUT_MARK = "...";

const char* const TITLE = "Welcome to Kestrova Router Software installation\n";
const char* const HELP =
    "Move around menu using 'p' and 'n' or arrow keys, select with 'spacebar'. Select all with "
    "'a', minimum with 'm'. Press 'i' to install locally or 'r' to install remote router or 'q' to "
    "cancel and reboot.";

// "system", "ppp" and "dhcp" first, in that order; then the rest by name, ties in directory order.
void build_display_order(package_list& list)
{
    static const std::string_view FIRST[] = {"system", "ppp", "dhcp"};
    auto rank = [](std::string_view name) {
        for (size_t i = 0; i < std::size(FIRST); ++i)
            if (name == FIRST[i])
                return i;
        return std::size(FIRST);
    };
    std::vector<size_t>& order = list.display_order;
    order.resize(list.entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        std::string_view name_a = package_name(list.entries[a]);
        std::string_view name_b = package_name(list.entries[b]);
        size_t rank_a = rank(name_a), rank_b = rank(name_b);
        if (rank_a != rank_b)
            return rank_a < rank_b;
        return rank_a == std::size(FIRST) && name_a < name_b;
    });
    // Names are shown as the terminal can take them; the headers keep them as they are for the
    // dependency matching.
    list.display_names.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        list.display_names[i] = printable_text(package_name(list.entries[order[i]]));
    list.display_items.assign(order.size(), grid_entry{});
    list.display_pointers.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        list.display_items[i].name = list.display_names[i].c_str();
        list.display_pointers[i] = &list.display_items[i];
    }
    grid_init(list.grid, list.display_pointers.data(), static_cast<unsigned>(order.size()),
              GRID_TOP_ROW, GRID_SCREEN_ROWS);
}

void draw_grid(package_list& list)
{
    for (size_t i = 0; i < list.display_items.size(); ++i)
        list.display_items[i].selected = list.entries[list.display_order[i]].selected;
    grid_draw_all(list.grid);
}

package_entry& current_entry(package_list& list)
{
    return list.entries[list.display_order[list.grid.current]];
}

std::string information_line(const package_entry& entry)
{
    std::string dependencies;
    for (size_t i = 0; i < entry.dependency_count; ++i) {
        if (i > 0)
            dependencies += ", ";
        dependencies += printable_text(dependency_name(entry, i));
    }
    if (entry.dependency_count == 0)
        dependencies = "nothing";
    std::string line = printable_text(package_name(entry));
    line += " (depends on ";
    size_t room = INFORMATION_WIDTH - line.size() - 2;
    if (dependencies.size() > room)
        dependencies.replace(room - CUT_MARK.size(), std::string::npos, CUT_MARK);
    line += dependencies;
    line += "):";
    return line;
}

// What fits below the information line: two wrapped lines, each at most a screen wide, so that
// nothing reaches the rows below the area. Line breaks and tabs separate words like blanks.
void print_description(const std::string& description)
{
    std::string text = description;
    for (char& c : text)
        if (c == '\n' || c == '\t' || c == '\r')
            c = ' ';
    std::vector<std::string> lines = wrapped_lines(printable_text(text).c_str());
    for (size_t i = 0; i < lines.size() && i + 1 < static_cast<size_t>(INFORMATION_ROWS); ++i)
        print_line(lines[i].data(), std::min(lines[i].size(), INFORMATION_WIDTH), false);
}

void draw_information(package_list& list)
{
    for (int row = INFORMATION_ROW; row < INFORMATION_ROW + INFORMATION_ROWS; ++row) {
        move_cursor(0, row);
        clear_line();
    }
    if (list.entries.empty())
        return;
    move_cursor(0, INFORMATION_ROW);
    const package_entry& entry = current_entry(list);
    std::string line = information_line(entry);
    print_line(line.data(), line.size(), false);
    print_description(entry.description);
}

void draw_menu(package_list& list)
{
    clear_screen();
    set_cursor_hidden(true);
    set_attributes(ATTRIBUTE_BOLD);
    print_lines(TITLE, true);
    set_attributes(0);
    print_wrapped(HELP, false);
    select_minimum(list);
    select_default_packages(list);
    draw_grid(list);
    draw_information(list);
}

// Arrows get codes above the byte range so that no typed byte can stand for one.
constexpr int ARROW_UP = 0x101;
constexpr int ARROW_DOWN = 0x102;
constexpr int ARROW_RIGHT = 0x103;
constexpr int ARROW_LEFT = 0x104;
constexpr int PAGE_UP = 0x105;
constexpr int PAGE_DOWN = 0x106;
constexpr int IGNORED_KEY = 0x100;

// The key after ESC "[": an arrow, or "5" or "6" and "~" for the page keys.
int arrow_key()
{
    switch (read_key()) {
    case 'A': return ARROW_UP;
    case 'B': return ARROW_DOWN;
    case 'C': return ARROW_RIGHT;
    case 'D': return ARROW_LEFT;
    case '5': return read_key() == '~' ? PAGE_UP : IGNORED_KEY;
    case '6': return read_key() == '~' ? PAGE_DOWN : IGNORED_KEY;
    default: return IGNORED_KEY;
    }
}

int next_key()
{
    int key = read_key();
    if (key != KEY_ESCAPE)
        return key;
    key = read_key();
    return key == '[' ? arrow_key() : key;
}

}  // namespace

bool package_menu_run(package_list& list)
{
    build_display_order(list);
    draw_menu(list);
    list.remote = false;
    if (list.entries.empty()) {
        move_cursor(0, LEAVE_ROW);
        return false;
    }
    for (;;) {
        int key = next_key();
        bool moved = false;
        switch (key) {
        case 'p': case 'P': case ARROW_UP: moved = grid_up(list.grid); break;
        case 'n': case 'N': case ARROW_DOWN: moved = grid_down(list.grid); break;
        case ARROW_LEFT: moved = grid_left(list.grid); break;
        case ARROW_RIGHT: moved = grid_right(list.grid); break;
        case '>': case PAGE_DOWN: moved = grid_page_down(list.grid); break;
        case '<': case PAGE_UP: moved = grid_page_up(list.grid); break;
        case 'a': case 'A':
            select_all(list);
            draw_grid(list);
            break;
        case 'm': case 'M':
            select_minimum(list);
            draw_grid(list);
            break;
        case ' ':
            if (toggle_package(list, current_entry(list)))
                draw_grid(list);
            break;
        case 'r': case 'R':
            list.remote = true;
            [[fallthrough]];
        case 'i': case 'I':
            move_cursor(0, LEAVE_ROW);
            return true;
        case 'q': case 'Q':
            move_cursor(0, LEAVE_ROW);
            return false;
        default:
            // Nobody is left to choose once the input has ended: cancel rather than wait forever.
            if (key == KEY_END_OF_INPUT && input_ended()) {
                move_cursor(0, LEAVE_ROW);
                return false;
            }
            break;
        }
        if (moved)
            draw_information(list);
    }
}

bool remote_requested(const package_list& list)
{
    return list.remote;
}
