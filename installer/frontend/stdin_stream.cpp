#include "installer/frontend/stdin_stream.h"

#include <unistd.h>

#include "common/file_descriptor.h"

fd_input_buffer::int_type fd_input_buffer::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    ssize_t got = read_fully(fd_, buffer_, BUFFER_SIZE);
    if (got <= 0)
        return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(*gptr());
}

fd_input_buffer::pos_type fd_input_buffer::seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode)
{
    int whence = dir == std::ios_base::beg ? SEEK_SET : dir == std::ios_base::end ? SEEK_END : SEEK_CUR;
    if (whence == SEEK_CUR)
        offset -= off_type(egptr() - gptr());  // the descriptor is ahead by what is buffered
    off_t result = lseek(fd_, offset, whence);
    if (result < 0)
        return pos_type(off_type(-1));
    setg(buffer_, buffer_, buffer_);
    return pos_type(off_type(result));
}

fd_input_buffer::pos_type fd_input_buffer::seekpos(pos_type target, std::ios_base::openmode mode)
{
    return seekoff(off_type(target), std::ios_base::beg, mode);
}
