#pragma once

// Filling and reading the chunk chain of a tree copy.

#include <cstdint>

// The buffer of a tree copy is a chain of chunks. While it is filled, `size` is a chunk's capacity
// and `position` its fill offset; once sealed, `size` is the number of bytes used and `position` the
// read offset. The data area follows the chunk header in the same allocation.
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

// Frees a chain that will not be written back.
void free_tree(tree_buffer buffer);

// Appends to a chain that is being filled. Every chunk that is left behind is sealed and shrunk to
// the bytes it holds, so the chain costs the stored bytes plus the chunk headers.
class tree_writer {
public:
    bool start();
    // The path with its terminator, never split: when it doesn't fit the rest of the current chunk it
    // gets a chunk of exactly its own length.
    bool append_path(const char* path);
    // Bytes that may span chunks; a full chunk is followed by one of the standard capacity.
    bool append(const unsigned char* bytes, uint32_t count);
    // Free room in the current chunk (a new standard chunk when it is full), 0 when memory ran out.
    uint32_t reserve(unsigned char** space);
    void commit(uint32_t count);
    // Seals the last chunk; the chain is then ready to be read.
    void seal();
    tree_chunk* first() const { return first_; }

private:
    bool add_chunk(uint32_t capacity);
    void seal_last();
    uint32_t room() const { return last_ == nullptr ? 0 : last_->size - last_->position; }

    tree_chunk* first_ = nullptr;
    tree_chunk* before_last_ = nullptr;
    tree_chunk* last_ = nullptr;
};

// Reads a sealed chain front to back, skipping chunks that are used up.
class tree_reader {
public:
    explicit tree_reader(tree_chunk* first) : chunk_(first) {}
    bool at_end();
    // The zero-terminated path at the read position; false when the chunk holds no terminator.
    bool read_path(const char** path);
    bool read(unsigned char* out, uint32_t count);
    // Up to `limit` bytes in place; returns how many (0 at the end of the chain).
    uint32_t read_piece(uint32_t limit, const unsigned char** piece);

private:
    void skip_used();
    tree_chunk* chunk_;
};
