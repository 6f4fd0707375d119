#pragma once
#include <cstddef>

// Writes all bytes, retrying partial and interrupted writes; a write that makes no progress
// without an error counts as a full disk (errno ENOSPC).
bool write_fully(int fd, const char* bytes, std::size_t size);
