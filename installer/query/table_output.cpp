#include "installer/query/table_output.h"

#include <algorithm>

table_output::table_output(std::vector<std::string> header, bool tab_separated)
    : header_(std::move(header)), tab_separated_(tab_separated)
{
}

void table_output::add_row(std::vector<std::string> fields)
{
    for (std::string& field : fields)
        if (field.empty())
            field.push_back('-');  // gcc 12 warns falsely on assigning a literal here
    fields.resize(header_.size(), "-");
    rows_.push_back(std::move(fields));
}

namespace {

void print_row(std::FILE* out, const std::vector<std::string>& fields, const std::vector<std::size_t>& widths,
               bool tab_separated)
{
    std::string line;
    for (std::size_t column = 0; column < fields.size(); ++column) {
        const std::string& field = fields[column];
        line += field;
        if (column + 1 == fields.size())
            break;
        if (tab_separated)
            line += '\t';
        else
            line.append(widths[column] - field.size() + 2, ' ');
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
}

}  // namespace

void table_output::print(std::FILE* out) const
{
    if (rows_.empty())
        return;
    std::vector<std::size_t> widths(header_.size(), 0);
    if (!tab_separated_) {
        for (std::size_t column = 0; column < header_.size(); ++column)
            widths[column] = header_[column].size();
        for (const auto& row : rows_)
            for (std::size_t column = 0; column < row.size(); ++column)
                widths[column] = std::max(widths[column], row[column].size());
        print_row(out, header_, widths, false);
    }
    for (const auto& row : rows_)
        print_row(out, row, widths, tab_separated_);
}
