#pragma once
#include <cstddef>
#include <cstdint>
#include <streambuf>

// Fuzz input as a stream that cannot seek, the way a package arrives through a pipe, with a small
// buffer so that reads straddle refills.
class pipe_like_buffer : public std::streambuf {
public:
    pipe_like_buffer(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        if (offset_ >= size_)
            return traits_type::eof();
        std::size_t count = size_ - offset_ < sizeof chunk_ ? size_ - offset_ : sizeof chunk_;
        for (std::size_t i = 0; i < count; ++i)
            chunk_[i] = char(data_[offset_ + i]);
        offset_ += count;
        setg(chunk_, chunk_, chunk_ + count);
        return traits_type::to_int_type(*gptr());
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
    char chunk_[7];
};

// Fuzz input as a seekable stream over memory.
class memory_buffer : public std::streambuf {
public:
    memory_buffer(const std::uint8_t* data, std::size_t size)
    {
        char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
        setg(begin, begin, begin + size);
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        off_type base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::end ? egptr() - eback() : gptr() - eback();
        off_type target = base + offset;
        if (target < 0 || target > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type target, std::ios_base::openmode mode) override
    {
        return seekoff(off_type(target), std::ios_base::beg, mode);
    }
};
