#include <cstdint>
#include <cstdio>

#include "setup/tui/menu_grid.h"
#include "setup/tui/screen_output.h"

namespace {

unsigned rows_for(unsigned count)
{
    return count / GRID_COLUMNS + (count % GRID_COLUMNS != 0 ? 1 : 0);
}

unsigned page_of(const menu_grid& grid, unsigned index)
{
    return grid.page_size == 0 ? 0 : index / grid.page_size;
}

void draw_page_line(const menu_grid& grid)
{
    unsigned page = grid_page(grid);
    unsigned first = page * grid.page_size;
    unsigned last = first + grid.page_size < grid.count ? first + grid.page_size : grid.count;
    // Cut short of the last column, so that the line never wraps into the row below.
    char line[SCREEN_WIDTH];
    std::snprintf(line, sizeof line, "Page %u of %u (%u-%u of %u packages): '>' or PgDn next page, '<' or PgUp back",
                  page + 1, grid_page_count(grid), first + 1, last, grid.count);
    move_cursor(0, grid.top_row + static_cast<int>(grid.rows));
    clear_line();
    std::fputs(line, stdout);
}

}  // namespace

void grid_init(menu_grid& grid, grid_entry* const* items, unsigned count, int top_row, unsigned screen_rows)
{
    grid.items = items;
    grid.count = count;
    grid.current = 0;
    grid.top_row = top_row;
    grid.columns = GRID_COLUMNS;
    grid.rows = rows_for(count);
    grid.page_size = count;
    // A single row would leave no room for the items once the page line has taken its own.
    if (screen_rows >= 2 && grid.rows > screen_rows) {
        grid.rows = screen_rows - 1;
        grid.page_size = grid.rows * GRID_COLUMNS;
    }
}

bool grid_paged(const menu_grid& grid)
{
    return grid.page_size < grid.count;
}

unsigned grid_page(const menu_grid& grid)
{
    return page_of(grid, grid.current);
}

unsigned grid_page_count(const menu_grid& grid)
{
    return grid.page_size == 0 ? 1 : (grid.count + grid.page_size - 1) / grid.page_size;
}

void grid_draw_item(const menu_grid& grid, unsigned index)
{
    if (index >= grid.count || page_of(grid, index) != grid_page(grid))
        return;
    const grid_entry* entry = grid.items[index];
    bool current = index == grid.current;
    unsigned place = index - grid_page(grid) * grid.page_size;
    move_cursor(static_cast<int>(place / grid.rows) * GRID_COLUMN_WIDTH,
                grid.top_row + static_cast<int>(place % grid.rows));
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
    if (!grid_paged(grid)) {
        for (unsigned i = 0; i < grid.count; ++i)
            grid_draw_item(grid, i);
        return;
    }
    // The last page may fill fewer places than the page before it left drawn.
    for (unsigned row = 0; row < grid.rows; ++row) {
        move_cursor(0, grid.top_row + static_cast<int>(row));
        clear_line();
    }
    unsigned first = grid_page(grid) * grid.page_size;
    for (unsigned i = first; i < grid.count && i < first + grid.page_size; ++i)
        grid_draw_item(grid, i);
    draw_page_line(grid);
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
    if (page_of(grid, previous) != grid_page(grid)) {
        grid_draw_all(grid);
        return true;
    }
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

bool grid_page_down(menu_grid& grid)
{
    if (grid_page(grid) + 1 >= grid_page_count(grid))
        return false;
    int64_t target = static_cast<int64_t>(grid.current) + grid.page_size;
    if (target >= static_cast<int64_t>(grid.count))
        target = static_cast<int64_t>(grid.count) - 1;
    return move_to(grid, target);
}

bool grid_page_up(menu_grid& grid)
{
    return move_to(grid, static_cast<int64_t>(grid.current) - grid.page_size);
}
