#include "installer/database/files_in_use.h"

void scan_files_in_use(run_context&) {}
