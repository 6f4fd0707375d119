#pragma once

// A three-column grid of selectable entries. Item i is shown in column i / rows, at screen row
// top_row + i % rows; columns start at 0, 26 and 52.
//
// A grid given fewer screen rows than its items need is shown a page at a time: each page takes
// one row less than it was given, fills its three columns in the same order, and the row below
// them names the page. The page shown is always the one of the current item; moves run on across
// the pages as they run across the columns.

#include <cstddef>

// What the grid shows of one entry. The caller owns the entries; `name` holds at most 16 bytes
// (a name of exactly 16 bytes needs no terminator).
struct grid_entry {
    const char* name = nullptr;
    bool selected = false;
};

constexpr unsigned GRID_COLUMNS = 3;
constexpr int GRID_COLUMN_WIDTH = 26;
constexpr size_t GRID_NAME_LENGTH = 16;

struct menu_grid {
    grid_entry* const* items = nullptr;
    unsigned count = 0;
    unsigned current = 0;
    int top_row = 0;
    unsigned columns = GRID_COLUMNS;
    unsigned rows = 0;       // rows of one page
    unsigned page_size = 0;  // items of one page: count when everything fits on the screen
};

// screen_rows 0: as many rows as the items need, on one page.
void grid_init(menu_grid& grid, grid_entry* const* items, unsigned count, int top_row,
               unsigned screen_rows = 0);
bool grid_paged(const menu_grid& grid);
unsigned grid_page(const menu_grid& grid);  // of the current item, from 0
unsigned grid_page_count(const menu_grid& grid);
// Draws the item where it is shown; an item on another page than the current one is not shown.
void grid_draw_item(const menu_grid& grid, unsigned index);
// The page of the current item; when paged, its rows are cleared first and the page line drawn.
void grid_draw_all(const menu_grid& grid);
// Each move returns true when the current item changed (and redraws the old and new item, or the
// whole page when the move turned it).
bool grid_up(menu_grid& grid);
bool grid_down(menu_grid& grid);
bool grid_left(menu_grid& grid);
bool grid_right(menu_grid& grid);
// To the same place on the next or previous page (the last item when the next page ends before it).
bool grid_page_down(menu_grid& grid);
bool grid_page_up(menu_grid& grid);
