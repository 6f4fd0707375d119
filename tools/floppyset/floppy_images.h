#pragma once

#include <string>

// Makes `image` a 1.44 MB floppy image with a FAT file system (dosfstools' mkfs.fat) and, unless
// `part` is empty, copies the part file onto it under its own name (mtools' mcopy). False, with
// the reason on standard error, when a tool is missing or fails.
bool make_floppy_image(const std::string& image, const std::string& part);
