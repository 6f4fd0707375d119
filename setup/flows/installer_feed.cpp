#include "setup/flows/installer_feed.h"

#include <algorithm>

#include "setup/support/process_runner.h"

FILE* start_package_installer()
{
    // Our own lines must reach the console before installer starts writing to it.
    fflush(stdout);
    FILE* pipe = pipe_to("/sbin/installer", "-r", "/mnt", "-", nullptr);
    // Each piece becomes one write: a second buffer in between would only copy the bytes again.
    if (pipe != nullptr)
        setvbuf(pipe, nullptr, _IONBF, 0);
    return pipe;
}

bool feed_bytes(FILE* pipe, const unsigned char* data, size_t size)
{
    while (size > 0) {
        size_t piece = std::min(size, FEED_PIECE_SIZE);
        if (fwrite(data, 1, piece, pipe) != piece)
            return false;
        data += piece;
        size -= piece;
    }
    return true;
}
