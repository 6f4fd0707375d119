#pragma once
#include <string>

#include "installer/state/run_context.h"

// The database is one directory per installed package under /var/pdb/, holding its version,
// lists, file list, scripts and schedule; loading it fills the context's installed records.

constexpr const char* DATABASE_DIRECTORY = "/var/pdb/";

// "/var/pdb/" + name + "/".
std::string record_directory(const installed_package& record);

// Sets the quiet flag and loads every record under /var/pdb/ into the context, consuming the
// schedule files.
void load_database(run_context& context, bool quiet);
// Fills a record from the directory of that name; damage schedules an uninstall.
void load_record(installed_package& record, const std::string& name);
// Deletes what record writes cut short by a power cut left in the directory (ends in "/").
void remove_stale_temporaries(const std::string& directory);
// Reads the record's schedule file; it stays until consume_schedules.
void read_schedule(installed_package& record);
// Deletes the schedule files of every record, once their requests have been carried out or refused.
void consume_schedules(const run_context& context);
