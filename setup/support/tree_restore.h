#pragma once

// Writing an in-memory tree copy back to disk.

#include "setup/support/tree_chain.h"

// Recreates every record at its path, in order, and frees the buffer in every case. Stops with
// false at a directory that can't be created (also one that exists), a file that can't be written
// completely, or a record that is cut short.
bool write_tree(tree_buffer buffer);
