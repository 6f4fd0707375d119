#pragma once
#include <cstdint>
#include <string>

#include "installer/state/run_context.h"

class part_reader;

constexpr std::size_t PROGRESS_LINE_WIDTH = 76;

// "installing NAME [####    ]": the bar shows the share of the package file read so far.
std::string install_progress_text(const installed_package& package, std::uint64_t read, std::uint64_t total);
void show_install_progress(run_context& context, const installed_package& package, const part_reader& reader);
