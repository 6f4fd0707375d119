#include "installer/apply/install_progress.h"

#include "common/part_reader.h"
#include "installer/state/console.h"

std::string install_progress_text(const installed_package& package, std::uint64_t read, std::uint64_t total)
{
    std::string line = "installing ";
    if (package.disabled && package.bundle.name.empty())
        line += " (disabled) ";
    line += failure_label(package);
    line += " [";
    std::uint64_t width = line.size() < PROGRESS_LINE_WIDTH ? PROGRESS_LINE_WIDTH - line.size() : 0;
    // The file header's length is the package's own claim; never let it draw past the bar.
    std::uint64_t done = total == 0 ? 0 : width * read / total;
    if (done > width)
        done = width;
    line.append(done, '#');
    line.append(width - done, ' ');
    line += ']';
    return line;
}

void show_install_progress(run_context& context, const installed_package& package, const part_reader& reader)
{
    std::uint64_t read = reader.position() + reader.current_part_size() - reader.remaining_in_part();
    set_progress_line(context, install_progress_text(package, read, reader.total_file_length()));
}
