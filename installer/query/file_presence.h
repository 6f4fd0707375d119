#pragma once
#include <string>
#include <string_view>
#include <vector>

// Whether paths exist, asked for many files of the same directories in a row (a package's sorted
// file list). After two paths of one directory in a row the directory is read once and the rest of
// its paths are answered from its names: one listing instead of a call per file. A directory too
// large to be worth reading for a few paths is not read. The same as lstat succeeding, for a
// process that may search every directory.
class file_presence {
public:
    bool exists(const std::string& path);

private:
    bool listed(const std::string& directory);

    std::string last_directory_;     // the parent of the path asked before
    enum class listing { untried, read, refused };
    listing last_listing_ = listing::untried;  // whether its names are in names_
    std::string text_;               // the names of the listed directory, each ended by a NUL
    std::vector<std::string_view> names_;  // into text_, sorted
};
