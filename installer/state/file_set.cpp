#include "installer/state/file_set.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Out of memory there is nothing sound to go on with; the standard containers would end the
// program as well.
void* resized(void* block, std::size_t bytes)
{
    if (bytes == 0) {
        std::free(block);
        return nullptr;
    }
    void* grown = std::realloc(block, bytes);
    if (grown == nullptr) {
        std::fputs("out of memory for a file list\n", stderr);
        std::abort();
    }
    return grown;
}

std::size_t grown_capacity(std::size_t capacity, std::size_t needed, std::size_t least)
{
    return std::max({needed, capacity + capacity / 2, least});
}

// Byte-wise order of a stored path against one that need not end in a NUL.
int compare_stored(const char* stored, std::string_view path)
{
    if (path.empty())
        return stored[0] == '\0' ? 0 : 1;
    int order = std::strncmp(stored, path.data(), path.size());
    if (order != 0)
        return order;
    return stored[path.size()] == '\0' ? 0 : 1;
}

}  // namespace

file_set::file_set(std::initializer_list<std::string_view> paths)
{
    for (std::string_view path : paths)
        insert(path);
}

file_set::file_set(const file_set& other)
{
    *this = other;
}

file_set::file_set(file_set&& other) noexcept
{
    *this = std::move(other);
}

file_set& file_set::operator=(const file_set& other)
{
    if (this == &other)
        return *this;
    other.settle();
    clear();
    reserve(other.count_, other.text_size_);
    for (std::size_t index = 0; index < other.count_; ++index)
        insert(other.at(index));
    return *this;
}

file_set& file_set::operator=(file_set&& other) noexcept
{
    if (this == &other)
        return *this;
    std::free(text_);
    std::free(positions_);
    text_ = std::exchange(other.text_, nullptr);
    text_size_ = std::exchange(other.text_size_, 0);
    text_capacity_ = std::exchange(other.text_capacity_, 0);
    positions_ = std::exchange(other.positions_, nullptr);
    count_ = std::exchange(other.count_, 0);
    positions_capacity_ = std::exchange(other.positions_capacity_, 0);
    sorted_ = std::exchange(other.sorted_, 0);
    return *this;
}

file_set::~file_set()
{
    std::free(text_);
    std::free(positions_);
}

std::string_view file_set::path_at(std::uint32_t position) const
{
    return std::string_view(text_ + (position & ~ERASED));
}

void file_set::reserve(std::size_t paths, std::size_t text_bytes)
{
    if (count_ + paths > positions_capacity_) {
        positions_capacity_ = count_ + paths;
        positions_ = static_cast<std::uint32_t*>(resized(positions_, positions_capacity_ * sizeof *positions_));
    }
    if (text_size_ + text_bytes > text_capacity_) {
        text_capacity_ = text_size_ + text_bytes;
        text_ = static_cast<char*>(resized(text_, text_capacity_));
    }
}

void file_set::shrink_to_fit()
{
    settle();
    if (count_ == 0)
        text_size_ = 0;
    positions_capacity_ = count_;
    positions_ = static_cast<std::uint32_t*>(resized(positions_, positions_capacity_ * sizeof *positions_));
    text_capacity_ = text_size_;
    text_ = static_cast<char*>(resized(text_, text_capacity_));
}

void file_set::append_text(std::string_view path)
{
    std::size_t needed = text_size_ + path.size() + 1;
    // The top bit of a position marks an erase.
    if (needed > ERASED) {
        std::fputs("file list too long\n", stderr);
        std::abort();
    }
    if (needed > text_capacity_) {
        // A path of this very set would move with the text.
        bool own = text_ != nullptr && path.data() >= text_ && path.data() < text_ + text_size_;
        std::size_t own_offset = own ? static_cast<std::size_t>(path.data() - text_) : 0;
        text_capacity_ = std::min<std::size_t>(grown_capacity(text_capacity_, needed, 256), ERASED);
        text_ = static_cast<char*>(resized(text_, text_capacity_));
        if (own)
            path = std::string_view(text_ + own_offset, path.size());
    }
    if (!path.empty())
        std::memcpy(text_ + text_size_, path.data(), path.size());
    text_[text_size_ + path.size()] = '\0';
    text_size_ = needed;
}

void file_set::append_position(std::uint32_t position)
{
    if (count_ == positions_capacity_) {
        positions_capacity_ = grown_capacity(positions_capacity_, count_ + 1, 16);
        positions_ = static_cast<std::uint32_t*>(resized(positions_, positions_capacity_ * sizeof *positions_));
    }
    positions_[count_++] = position;
}

void file_set::insert(std::string_view path)
{
    if (path.find('\0') != std::string_view::npos)
        return;
    bool in_order = sorted_ == count_;
    if (in_order && count_ > 0) {
        int order = compare_stored(text_ + positions_[count_ - 1], path);
        if (order == 0)
            return;
        in_order = order < 0;
    }
    auto position = static_cast<std::uint32_t>(text_size_);
    append_text(path);
    append_position(position);
    if (in_order)
        sorted_ = count_;
}

void file_set::erase(std::string_view path)
{
    if (path.find('\0') != std::string_view::npos)
        return;
    if (sorted_ != count_) {
        // Looking through the tail would cost a sort for every erase; the next settle applies it.
        auto position = static_cast<std::uint32_t>(text_size_);
        append_text(path);
        append_position(position | ERASED);
        return;
    }
    std::uint32_t* end = positions_ + count_;
    std::uint32_t* found = std::lower_bound(positions_, end, path, [this](std::uint32_t position, std::string_view wanted) {
        return compare_stored(text_ + position, wanted) < 0;
    });
    if (found == end || compare_stored(text_ + *found, path) != 0)
        return;
    std::memmove(found, found + 1, static_cast<std::size_t>(end - found - 1) * sizeof *found);
    sorted_ = --count_;
}

void file_set::settle() const
{
    if (sorted_ == count_)
        return;
    // Equal paths end up in the order they were added in, which is their order in the text.
    auto before = [this](std::uint32_t a, std::uint32_t b) {
        int order = std::strcmp(text_ + (a & ~ERASED), text_ + (b & ~ERASED));
        return order != 0 ? order < 0 : (a & ~ERASED) < (b & ~ERASED);
    };
    std::sort(positions_ + sorted_, positions_ + count_, before);
    std::inplace_merge(positions_, positions_ + sorted_, positions_ + count_, before);
    // Of the entries for one path the last added decides whether it stays.
    std::size_t kept = 0;
    for (std::size_t first = 0; first < count_;) {
        std::size_t last = first;
        while (last + 1 < count_ &&
               std::strcmp(text_ + (positions_[first] & ~ERASED), text_ + (positions_[last + 1] & ~ERASED)) == 0)
            ++last;
        if ((positions_[last] & ERASED) == 0)
            positions_[kept++] = positions_[last];
        first = last + 1;
    }
    count_ = kept;
    sorted_ = kept;
}

bool file_set::contains(std::string_view path) const
{
    if (path.find('\0') != std::string_view::npos)
        return false;
    settle();
    const std::uint32_t* end = positions_ + count_;
    const std::uint32_t* found =
        std::lower_bound(static_cast<const std::uint32_t*>(positions_), end, path,
                         [this](std::uint32_t position, std::string_view wanted) {
                             return compare_stored(text_ + position, wanted) < 0;
                         });
    return found != end && compare_stored(text_ + *found, path) == 0;
}

std::size_t file_set::size() const
{
    settle();
    return count_;
}

void file_set::clear()
{
    std::free(text_);
    std::free(positions_);
    text_ = nullptr;
    positions_ = nullptr;
    text_size_ = text_capacity_ = count_ = positions_capacity_ = sorted_ = 0;
}

file_set::iterator file_set::begin() const
{
    settle();
    return iterator(text_, positions_);
}

file_set::iterator file_set::end() const
{
    settle();
    return iterator(text_, positions_ + count_);
}

std::string_view file_set::at(std::size_t index) const
{
    settle();
    return path_at(positions_[index]);
}
