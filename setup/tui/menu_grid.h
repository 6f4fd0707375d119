#pragma once

// A three-column grid of selectable entries. Item i is shown in column i / rows, at screen row
// top_row + i % rows; columns start at 0, 26 and 52.

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
    unsigned rows = 0;
};

void grid_init(menu_grid& grid, grid_entry* const* items, unsigned count, int top_row);
void grid_draw_item(const menu_grid& grid, unsigned index);
void grid_draw_all(const menu_grid& grid);
// Each move returns true when the current item changed (and redraws the old and new item).
bool grid_up(menu_grid& grid);
bool grid_down(menu_grid& grid);
bool grid_left(menu_grid& grid);
bool grid_right(menu_grid& grid);
