#pragma once
#include <streambuf>

#include <zlib.h>

// Compresses everything written to it into a zlib stream on the sink, at the default level.
class deflate_stream : public std::streambuf {
public:
    static constexpr std::size_t BUFFER_SIZE = 4096;

    explicit deflate_stream(std::streambuf* sink);
    ~deflate_stream() override;

    deflate_stream(const deflate_stream&) = delete;
    deflate_stream& operator=(const deflate_stream&) = delete;

    // Writes the rest and the zlib trailer; a second finish fails and writes nothing.
    bool finish();

protected:
    int sync() override;
    int_type overflow(int_type c) override;

private:
    bool write_chunk(const unsigned char* chunk, std::size_t size);

    std::streambuf* sink_;
    char put_area_[BUFFER_SIZE];
    z_stream zlib_{};
    bool zlib_ready_ = false;
    bool finished_ = false;
};
