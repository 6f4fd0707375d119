#pragma once

#include "installer/state/run_context.h"

// Writing an installed record back into its database directory, one file at a time and each
// atomically. Each reports its failure through report_create_failure.
bool ensure_record_directory(run_context& context, installed_package& record);
bool save_record(run_context& context, installed_package& record);
bool save_file_list(run_context& context, installed_package& record);
