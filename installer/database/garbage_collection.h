#pragma once
#include <optional>
#include <string>

#include "installer/state/run_context.h"

// Removes the files below directory that no installed package owns. Directories stay. An
// absolute name is taken lexically ("/usr//lib/../bin/" is "/usr/bin"), so the paths compared
// with the file sets are the names of the files opened; a relative name or one that passes through
// a symbolic link is refused, nothing is collected while no package is installed, and the
// database directory itself is never entered.
void collect_garbage(run_context& context, const std::string& directory);

// The lexical form of an absolute directory name without "." and ".." components, repeated
// or trailing "/"; nothing for a relative name.
std::optional<std::string> normalize_directory(const std::string& directory);
