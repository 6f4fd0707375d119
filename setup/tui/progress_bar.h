#pragma once

#include <cstdint>

// A bar of "#" characters between brackets that only ever grows.
struct progress_bar {
    uint32_t width = 0;
    uint32_t total = 0;  // the value that means complete
    uint32_t drawn = 0;  // "#" characters shown so far
    bool started = false;
};

void progress_bar_init(progress_bar& bar, uint32_t width, uint32_t total);
void progress_bar_begin(progress_bar& bar);
void progress_bar_update(progress_bar& bar, uint32_t done);
void progress_bar_end(progress_bar& bar);
