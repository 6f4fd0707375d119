#include "common/inflate_stream.h"

#include <algorithm>

inflate_stream::inflate_stream(std::streambuf* source) : source_(source)
{
    zlib_ready_ = inflateInit(&zlib_) == Z_OK;
    setg(output_, output_, output_);
}

inflate_stream::~inflate_stream()
{
    if (zlib_ready_)
        inflateEnd(&zlib_);
}

inflate_stream::int_type inflate_stream::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    if (!zlib_ready_ || finished_)
        return traits_type::eof();
    // Loop rather than hand back an empty get area: zlib may consume input without producing any.
    for (;;) {
        if (zlib_.avail_in == 0) {
            std::streamsize got = source_->sgetn(input_, BUFFER_SIZE);
            if (got <= 0)
                return traits_type::eof();
            zlib_.next_in = reinterpret_cast<Bytef*>(input_);
            zlib_.avail_in = uInt(got);
        }
        zlib_.next_out = reinterpret_cast<Bytef*>(output_);
        zlib_.avail_out = BUFFER_SIZE;
        int result = inflate(&zlib_, Z_PARTIAL_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) {
            finished_ = true;  // a corrupt stream ends the data
            corrupt_ = true;
            return traits_type::eof();
        }
        std::size_t count = BUFFER_SIZE - zlib_.avail_out;
        produced_ += count;
        if (result == Z_STREAM_END)
            finished_ = true;
        if (count > 0) {
            setg(output_, output_, output_ + count);
            return traits_type::to_int_type(*gptr());
        }
        if (finished_)
            return traits_type::eof();
    }
}

bool inflate_stream::discard(std::uint64_t count)
{
    char chunk[1024];
    while (count > 0) {
        std::streamsize want = std::streamsize(std::min<std::uint64_t>(count, sizeof chunk));
        if (sgetn(chunk, want) != want)
            return false;
        count -= std::uint64_t(want);
    }
    return true;
}

inflate_stream::pos_type inflate_stream::seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode mode)
{
    const pos_type failed(off_type(-1));
    if (dir == std::ios_base::end)
        return failed;
    if (dir == std::ios_base::beg)
        return seekpos(pos_type(offset), mode);
    if (offset < 0 || !discard(std::uint64_t(offset)))
        return failed;
    return pos_type(off_type(produced_ - std::uint64_t(egptr() - gptr())));
}

inflate_stream::pos_type inflate_stream::seekpos(pos_type target, std::ios_base::openmode)
{
    const pos_type failed(off_type(-1));
    off_type position = off_type(produced_ - std::uint64_t(egptr() - gptr()));
    if (off_type(target) < position)
        return failed;
    if (!discard(std::uint64_t(off_type(target) - position)))
        return failed;
    return pos_type(off_type(produced_ - std::uint64_t(egptr() - gptr())));
}
