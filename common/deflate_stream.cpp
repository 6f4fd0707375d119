#include "common/deflate_stream.h"

deflate_stream::deflate_stream(std::streambuf* sink) : sink_(sink)
{
    zlib_ready_ = deflateInit(&zlib_, Z_DEFAULT_COMPRESSION) == Z_OK;
    finished_ = !zlib_ready_;
    // One byte is kept behind the put area so that overflow can always store its character.
    setp(put_area_, put_area_ + BUFFER_SIZE - 1);
}

deflate_stream::~deflate_stream()
{
    if (!finished_)
        finish();
    else if (zlib_ready_)
        deflateEnd(&zlib_);
}

bool deflate_stream::write_chunk(const unsigned char* chunk, std::size_t size)
{
    return size == 0 || sink_->sputn(reinterpret_cast<const char*>(chunk), std::streamsize(size)) == std::streamsize(size);
}

int deflate_stream::sync()
{
    if (finished_)
        return -1;
    if (pptr() == pbase())
        return 0;
    zlib_.next_in = reinterpret_cast<Bytef*>(pbase());
    zlib_.avail_in = uInt(pptr() - pbase());
    unsigned char chunk[BUFFER_SIZE];
    while (zlib_.avail_in > 0) {
        zlib_.next_out = chunk;
        zlib_.avail_out = BUFFER_SIZE;
        if (deflate(&zlib_, Z_NO_FLUSH) == Z_STREAM_ERROR)
            return -1;
        if (!write_chunk(chunk, BUFFER_SIZE - zlib_.avail_out))
            return -1;
    }
    setp(put_area_, put_area_ + BUFFER_SIZE - 1);
    return 0;
}

deflate_stream::int_type deflate_stream::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::eof();
    // After a failed sync or a finish the spare byte is already taken (or the stream is over):
    // storing again would write past the buffer.
    if (finished_ || pptr() > epptr())
        return traits_type::eof();
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    if (sync() != 0)
        return traits_type::eof();
    return traits_type::not_eof(c);
}

bool deflate_stream::finish()
{
    if (finished_)
        return false;
    bool ok = sync() == 0;
    unsigned char chunk[BUFFER_SIZE];
    int result = Z_OK;
    while (ok) {
        zlib_.next_out = chunk;
        zlib_.avail_out = BUFFER_SIZE;
        result = deflate(&zlib_, Z_FINISH);
        if (result == Z_STREAM_ERROR || !write_chunk(chunk, BUFFER_SIZE - zlib_.avail_out)) {
            ok = false;
            break;
        }
        if (zlib_.avail_out != 0)
            break;
    }
    finished_ = true;
    zlib_ready_ = false;
    bool ended = deflateEnd(&zlib_) == Z_OK;
    return ok && ended;
}
