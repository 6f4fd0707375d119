#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string_view>

// The paths a package placed, in byte-wise order. A package may own hundreds of thousands of
// files, and a set of them is mostly path text: the paths lie back to back in one block, each
// ended by a NUL, and a table of four-byte positions into the block keeps them in order. That
// costs the text and four bytes a path instead of a tree node and an allocation per path.
//
// Paths added out of order wait in an unsorted tail that the next look-up, count or walk sorts
// in (a walk or look-up on a const set may therefore still rearrange the table). Reading a sorted
// list therefore costs no sorting, and filling a set while installing costs one sort at the end.
// The text block only grows: a path erased or added twice keeps its bytes until the set is
// cleared. The set owns its text; the views it hands out stay valid until it is changed.
class file_set {
public:
    // Walks the paths in byte-wise order; each view's data() is NUL-terminated.
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        iterator() = default;
        iterator(const char* text, const std::uint32_t* position) : text_(text), position_(position) {}
        std::string_view operator*() const { return std::string_view(text_ + *position_); }
        iterator& operator++()
        {
            ++position_;
            return *this;
        }
        iterator operator++(int)
        {
            iterator before = *this;
            ++position_;
            return before;
        }
        bool operator==(const iterator& other) const { return position_ == other.position_; }

    private:
        const char* text_ = nullptr;
        const std::uint32_t* position_ = nullptr;
    };

    file_set() = default;
    file_set(std::initializer_list<std::string_view> paths);
    file_set(const file_set& other);
    file_set(file_set&& other) noexcept;
    file_set& operator=(const file_set& other);
    file_set& operator=(file_set&& other) noexcept;
    ~file_set();

    // A path holding a NUL cannot be a file name; it is not added.
    void insert(std::string_view path);
    void erase(std::string_view path);
    bool contains(std::string_view path) const;
    std::size_t count(std::string_view path) const { return contains(path) ? 1 : 0; }
    std::size_t size() const;
    bool empty() const { return size() == 0; }
    void clear();
    iterator begin() const;
    iterator end() const;
    // The path at that place in byte-wise order (index < size()).
    std::string_view at(std::size_t index) const;

    // Room for that many more paths of that much text in all, so that a set read from a list of
    // known size grows once.
    void reserve(std::size_t paths, std::size_t text_bytes);
    // Gives back the room reserved beyond what is held.
    void shrink_to_fit();

private:
    // Sorts the tail in and drops repeated and erased paths.
    void settle() const;
    void append_text(std::string_view path);
    void append_position(std::uint32_t position);
    std::string_view path_at(std::uint32_t position) const;

    // Marks a tail entry that stands for an erase of its path rather than an insert.
    static constexpr std::uint32_t ERASED = 0x80000000u;

    char* text_ = nullptr;
    std::size_t text_size_ = 0;
    std::size_t text_capacity_ = 0;
    mutable std::uint32_t* positions_ = nullptr;
    mutable std::size_t count_ = 0;   // entries of positions_: sorted ones, then the tail
    std::size_t positions_capacity_ = 0;
    mutable std::size_t sorted_ = 0;  // the first sorted_ entries are in order, each path once
};
