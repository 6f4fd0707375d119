#pragma once
#include <string>
#include <sys/types.h>

#include "tools/mkvrp/build_options.h"
#include "tools/mkvrp/container_writer.h"

// Writes one file-data part: every entry of the tree as a file record, compressed on the way out.
// The output file itself is left out should it lie inside the tree.
bool write_file_data(container_writer& output, const std::string& tree, const build_options& options,
                     dev_t output_device, ino_t output_inode);
