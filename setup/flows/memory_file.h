#pragma once

// A file read whole into memory, so that it can be written out after the disk it came from has
// been rewritten. The record owns its bytes; moving it hands them on.

#include <cstddef>
#include <memory>

struct memory_file {
    std::unique_ptr<unsigned char[]> data;
    size_t length = 0;
    size_t position = 0;  // how much of it has been written out
};

// Reads the whole file (its size from fstat, reads repeated until that many bytes have arrived).
// False when it can't be opened, the memory can't be had, or the file ends early; the caller reports.
bool read_whole_file(const char* path, memory_file& file);
