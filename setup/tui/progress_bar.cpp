#include <cstdio>

#include "setup/tui/progress_bar.h"

void progress_bar_init(progress_bar& bar, uint32_t width, uint32_t total)
{
    bar.width = width;
    bar.total = total;
    bar.drawn = 0;
    bar.started = false;
}

void progress_bar_begin(progress_bar& bar)
{
    std::putchar('[');
    for (uint32_t i = 0; i < bar.width; ++i)
        std::putchar(' ');
    std::putchar(']');
    std::fflush(stdout);
    bar.started = true;
}

// The product is taken in 64 bits: in 32 bits it wraps for large counts and the bar would stop
// growing. A total of 0 counts as complete.
void progress_bar_update(progress_bar& bar, uint32_t done)
{
    if (!bar.started)
        return;
    uint64_t filled = bar.total == 0 ? bar.width : static_cast<uint64_t>(done) * bar.width / bar.total;
    if (filled > bar.width)
        filled = bar.width;
    if (filled <= bar.drawn)
        return;
    bar.drawn = static_cast<uint32_t>(filled);
    // One write per redraw: a floppy part redraws its bar some seventy times.
    std::fputs("\r[", stdout);
    for (uint32_t i = 0; i < bar.drawn; ++i)
        std::putchar('#');
    std::fflush(stdout);
}

void progress_bar_end(progress_bar& bar)
{
    if (bar.started)
        std::putchar('\n');
}
