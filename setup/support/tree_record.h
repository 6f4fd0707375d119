#pragma once

#include <cstdint>

// One record of a tree copy: a directory or a regular file. In the chunk chain it is the path (zero-terminated, never
// split over two chunks), the status fields below in little-endian order (TREE_STATUS_SIZE bytes),
// and for a regular file `size` bytes of content.
struct tree_record {
    const char* path;
    uint32_t mode;  // file type and permission bits as lstat reports them
    uint32_t owner;
    uint32_t group;
    uint64_t size;
    int64_t access_seconds;
    uint32_t access_nanoseconds;
    int64_t modification_seconds;
    uint32_t modification_nanoseconds;
};
constexpr uint32_t TREE_STATUS_SIZE = 44;
