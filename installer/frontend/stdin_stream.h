#pragma once
#include <streambuf>

// Buffered reading of a file descriptor that may be a pipe: seeks are passed to the descriptor
// and fail on a pipe, so the package reader falls back to reading and discarding.
class fd_input_buffer : public std::streambuf {
public:
    static constexpr std::size_t BUFFER_SIZE = 4096;
    explicit fd_input_buffer(int fd) : fd_(fd) { setg(buffer_, buffer_, buffer_); }

protected:
    int_type underflow() override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override;
    pos_type seekpos(pos_type target, std::ios_base::openmode mode) override;

private:
    int fd_;
    char buffer_[BUFFER_SIZE];
};
