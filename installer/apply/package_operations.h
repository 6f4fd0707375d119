#pragma once
#include "installer/state/run_context.h"

class part_reader;

// Writes the scripts, files and database record of a package whose header has been read; the
// reader stands on the first part after the header parts. A failure is reported and undone.
bool install_package(run_context& context, installed_package& package, part_reader& reader);
void uninstall_package(run_context& context, installed_package& package);
void disable_package(run_context& context, installed_package& package);
void enable_package(run_context& context, installed_package& package);
