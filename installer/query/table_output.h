#pragma once
#include <cstdio>
#include <string>
#include <vector>

// Rows of fields collected by a command and printed in one go: aligned in columns under a header
// for a person, or one tab-separated line per row with no header for a script. Empty fields are
// printed as "-" so that every row has the same number of words. The table owns its copies.
class table_output {
public:
    table_output(std::vector<std::string> header, bool tab_separated);
    void add_row(std::vector<std::string> fields);
    bool empty() const { return rows_.empty(); }
    // Nothing at all for a table without rows.
    void print(std::FILE* out) const;

private:
    std::vector<std::string> header_;
    std::vector<std::vector<std::string>> rows_;
    bool tab_separated_;
};
