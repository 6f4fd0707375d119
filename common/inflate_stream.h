#pragma once
#include <cstdint>
#include <streambuf>

#include <zlib.h>

// Decompresses the zlib stream of a file-data part. Reads from the part's stream buffer never pass
// the part's end; a corrupt stream looks like the end of the data.
class inflate_stream : public std::streambuf {
public:
    static constexpr std::size_t BUFFER_SIZE = 4096;

    explicit inflate_stream(std::streambuf* source);
    ~inflate_stream() override;

    inflate_stream(const inflate_stream&) = delete;
    inflate_stream& operator=(const inflate_stream&) = delete;

    std::uint64_t produced() const { return produced_; }
    // True when zlib reported the end of its stream (as opposed to running out of input).
    bool finished() const { return finished_; }
    // True when zlib found the data damaged; the end it caused is not the end of the records.
    bool corrupt() const { return corrupt_; }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override;
    pos_type seekpos(pos_type target, std::ios_base::openmode) override;
    int_type underflow() override;

private:
    bool discard(std::uint64_t count);

    std::streambuf* source_;
    char output_[BUFFER_SIZE];
    char input_[BUFFER_SIZE];
    z_stream zlib_{};
    bool zlib_ready_ = false;
    bool finished_ = false;
    bool corrupt_ = false;
    std::uint64_t produced_ = 0;
};
