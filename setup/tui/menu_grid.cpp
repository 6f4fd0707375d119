#include <cstdint>
#include <cstdio>

#include "setup/tui/menu_grid.h"
#include "setup/tui/screen_output.h"

void grid_init(menu_grid& grid, grid_entry* const* items, unsigned count, int top_row)
{
    grid.items = items;
    grid.count = count;
    grid.current = 0;
    grid.top_row = top_row;
    grid.columns = GRID_COLUMNS;
    grid.rows = count / GRID_COLUMNS + (count % GRID_COLUMNS != 0 ? 1 : 0);
}

void grid_draw_item(const menu_grid& grid, unsigned index)
{
    if (index >= grid.count)
        return;
    const grid_entry* entry = grid.items[index];
    bool current = index == grid.current;
    move_cursor(static_cast<int>(index / grid.rows) * GRID_COLUMN_WIDTH,
                grid.top_row + static_cast<int>(index % grid.rows));
    std::putchar(' ');
    if (current)
        set_attributes(ATTRIBUTE_REVERSE);
    std::printf(" [%c] %.*s ", entry->selected ? 'X' : ' ', static_cast<int>(GRID_NAME_LENGTH),
                entry->name != nullptr ? entry->name : "");
    if (current)
        set_attributes(0);
}

void grid_draw_all(const menu_grid& grid)
{
    for (unsigned i = 0; i < grid.count; ++i)
        grid_draw_item(grid, i);
}

namespace {

// Positions are computed in 64 bits so that a move before the first item is negative on every
// target, not a wrapped-around unsigned number.
bool move_to(menu_grid& grid, int64_t target)
{
    if (target < 0 || target >= static_cast<int64_t>(grid.count) ||
        target == static_cast<int64_t>(grid.current))
        return false;
    unsigned previous = grid.current;
    grid.current = static_cast<unsigned>(target);
    grid_draw_item(grid, previous);
    grid_draw_item(grid, grid.current);
    return true;
}

}  // namespace

bool grid_up(menu_grid& grid)
{
    return move_to(grid, static_cast<int64_t>(grid.current) - 1);
}

bool grid_down(menu_grid& grid)
{
    return move_to(grid, static_cast<int64_t>(grid.current) + 1);
}

bool grid_left(menu_grid& grid)
{
    return move_to(grid, static_cast<int64_t>(grid.current) - static_cast<int64_t>(grid.rows));
}

bool grid_right(menu_grid& grid)
{
    return move_to(grid, static_cast<int64_t>(grid.current) + static_cast<int64_t>(grid.rows));
}
