#pragma once

#include <cstdint>
#include <sys/types.h>

// An in-memory copy of a directory tree, kept while the disk that held it is reformatted.
//
// The buffer is a chain of chunks. While it is filled, `size` is a chunk's capacity and `position`
// its fill offset; once sealed, `size` is the number of bytes used and `position` the read offset.
// The data area follows the chunk header in the same allocation.
constexpr uint32_t TREE_CHUNK_MAGIC = 0x5A0937EB;
constexpr uint32_t TREE_CHUNK_CAPACITY = 16000;

struct tree_chunk {
    uint32_t magic;
    uint32_t size;
    uint32_t position;
    tree_chunk* next;

    unsigned char* data() { return reinterpret_cast<unsigned char*>(this + 1); }
};

// The whole chain; null stands for "no tree".
using tree_buffer = tree_chunk*;

// One record: a directory or a regular file. In the buffer it is the path (zero-terminated, never
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

// Copies the tree rooted at `path` (a directory or a single regular file) into memory. Symbolic
// links, devices, pipes and sockets are left out. Returns null after freeing everything when a path
// can't be examined or read, a file changes its length while it is read, or memory runs out.
tree_buffer read_tree(const char* path);

// Recreates every record at its path, in order, and frees the buffer in every case. Stops with
// false at a directory that can't be created (also one that exists), a file that can't be written
// completely, or a record that is cut short.
bool write_tree(tree_buffer buffer);

// Frees a buffer that will not be written back.
void free_tree(tree_buffer buffer);
