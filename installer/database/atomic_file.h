#pragma once
#include <functional>
#include <string>

// Replaces the file at path by the content in one step: the content goes to "." + file name in
// the same directory first and is renamed over the old file, so a power cut leaves either the
// old or the new file, never a truncated one. On failure returns false with errno of the failed
// call and leaves no temporary file behind.
bool write_file_atomically(const std::string& path, const std::string& content);
// The same for content too large to be held twice: write_content writes it to the descriptor
// and returns false (errno set) when it cannot.
bool write_file_atomically(const std::string& path, const std::function<bool(int descriptor)>& write_content);

// The temporary name used for path: "/a/b/files" -> "/a/b/.files".
std::string temporary_path_for(const std::string& path);
