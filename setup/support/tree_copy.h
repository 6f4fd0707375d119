#pragma once

// An in-memory copy of a directory tree, kept while the disk that held it is reformatted.

#include "setup/support/tree_chain.h"

// Copies the tree rooted at `path` (a directory or a single regular file) into memory. Symbolic
// links, devices, pipes and sockets are left out. Returns null after freeing everything when a path
// can't be examined or read, a file changes its length while it is read, or memory runs out.
tree_buffer read_tree(const char* path);
