#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#include "installer/state/run_context.h"

// A context whose console output is captured in memory instead of reaching the test's output;
// the message log keeps what was said.
struct captured_console {
    run_context context;
    char* buffer = nullptr;
    std::size_t size = 0;

    captured_console() { context.console = open_memstream(&buffer, &size); }
    ~captured_console()
    {
        std::fclose(context.console);
        std::free(buffer);
    }
    captured_console(const captured_console&) = delete;
    captured_console& operator=(const captured_console&) = delete;

    // What was written since the last take.
    std::string take()
    {
        std::fflush(context.console);
        std::string text(buffer, size);
        std::rewind(context.console);
        std::fflush(context.console);
        size = 0;
        return text;
    }
};
