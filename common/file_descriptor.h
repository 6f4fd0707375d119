#pragma once

// Descriptors of both programs: an owning descriptor that closes itself, and a read and a write
// that do not stop at partial or interrupted transfers.

#include <cstddef>
#include <sys/types.h>

// Owns one open descriptor (or none, -1) and closes it when it goes. Moves, never copies, so that a
// descriptor is closed exactly once.
class owned_descriptor {
public:
    owned_descriptor() = default;
    explicit owned_descriptor(int fd) : fd_(fd) {}
    owned_descriptor(owned_descriptor&& other) noexcept : fd_(other.release()) {}
    owned_descriptor& operator=(owned_descriptor&& other) noexcept;
    owned_descriptor(const owned_descriptor&) = delete;
    owned_descriptor& operator=(const owned_descriptor&) = delete;
    ~owned_descriptor() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release();
    // Closes the descriptor held and takes `fd`.
    void reset(int fd = -1);
    // Closes now, so that a failed close (a write-back error on some file systems) can be seen.
    bool close_checked();

private:
    int fd_ = -1;
};

// Writes all bytes, retrying partial and interrupted writes; a write that makes no progress
// without an error counts as a full disk (errno ENOSPC).
bool write_fully(int fd, const void* bytes, std::size_t size);

// Reads until `size` bytes have come or the file ends, retrying partial and interrupted reads.
// Returns the number of bytes read, fewer than `size` only at the end of the file; -1 when a read
// fails (errno says why; what came before the failure is in the buffer but not counted).
ssize_t read_fully(int fd, void* bytes, std::size_t size);
