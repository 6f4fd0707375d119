#include "setup/support/tree_chain.h"

#include <cstdlib>
#include <cstring>

bool tree_writer::start()
{
    return add_chunk(TREE_CHUNK_CAPACITY);
}

bool tree_writer::add_chunk(uint32_t capacity)
{
    auto* chunk = static_cast<tree_chunk*>(std::malloc(sizeof(tree_chunk) + capacity));
    if (chunk == nullptr)
        return false;
    chunk->magic = TREE_CHUNK_MAGIC;
    chunk->size = capacity;
    chunk->position = 0;
    chunk->next = nullptr;
    if (last_ != nullptr) {
        seal_last();
        last_->next = chunk;
    } else {
        first_ = chunk;
    }
    before_last_ = last_;
    last_ = chunk;
    return true;
}

void tree_writer::seal_last()
{
    last_->size = last_->position;
    last_->position = 0;
    auto* shrunk = static_cast<tree_chunk*>(std::realloc(last_, sizeof(tree_chunk) + last_->size));
    if (shrunk == nullptr || shrunk == last_)
        return;
    if (before_last_ != nullptr)
        before_last_->next = shrunk;
    else
        first_ = shrunk;
    last_ = shrunk;
}

bool tree_writer::append_path(const char* path)
{
    auto length = static_cast<uint32_t>(std::strlen(path) + 1);
    if (room() < length && !add_chunk(length))
        return false;
    std::memcpy(last_->data() + last_->position, path, length);
    last_->position += length;
    return true;
}

uint32_t tree_writer::reserve(unsigned char** space)
{
    if (room() == 0 && !add_chunk(TREE_CHUNK_CAPACITY))
        return 0;
    *space = last_->data() + last_->position;
    return room();
}

void tree_writer::commit(uint32_t count)
{
    last_->position += count;
}

bool tree_writer::append(const unsigned char* bytes, uint32_t count)
{
    while (count > 0) {
        unsigned char* space = nullptr;
        uint32_t free_room = reserve(&space);
        if (free_room == 0)
            return false;
        uint32_t piece = count < free_room ? count : free_room;
        std::memcpy(space, bytes, piece);
        commit(piece);
        bytes += piece;
        count -= piece;
    }
    return true;
}

void tree_writer::seal()
{
    if (last_ != nullptr)
        seal_last();
}

void tree_reader::skip_used()
{
    while (chunk_ != nullptr && chunk_->position == chunk_->size)
        chunk_ = chunk_->next;
}

bool tree_reader::at_end()
{
    skip_used();
    return chunk_ == nullptr;
}

bool tree_reader::read_path(const char** path)
{
    skip_used();
    if (chunk_ == nullptr)
        return false;
    const unsigned char* start = chunk_->data() + chunk_->position;
    const void* end = std::memchr(start, 0, chunk_->size - chunk_->position);
    if (end == nullptr)
        return false;
    *path = reinterpret_cast<const char*>(start);
    chunk_->position += static_cast<uint32_t>(static_cast<const unsigned char*>(end) - start) + 1;
    return true;
}

uint32_t tree_reader::read_piece(uint32_t limit, const unsigned char** piece)
{
    skip_used();
    if (chunk_ == nullptr)
        return 0;
    uint32_t available = chunk_->size - chunk_->position;
    uint32_t count = limit < available ? limit : available;
    *piece = chunk_->data() + chunk_->position;
    chunk_->position += count;
    return count;
}

bool tree_reader::read(unsigned char* out, uint32_t count)
{
    while (count > 0) {
        const unsigned char* piece = nullptr;
        uint32_t got = read_piece(count, &piece);
        if (got == 0)
            return false;
        std::memcpy(out, piece, got);
        out += got;
        count -= got;
    }
    return true;
}

void free_tree(tree_buffer buffer)
{
    while (buffer != nullptr) {
        tree_chunk* next = buffer->next;
        buffer->magic = 0;
        std::free(buffer);
        buffer = next;
    }
}
