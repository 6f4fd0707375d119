#pragma once
#include <string>

#include "installer/frontend/run_context.h"

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

// Each reports its failure through report_create_failure.
bool ensure_record_directory(run_context& context, installed_package& record);
bool save_record(run_context& context, installed_package& record);
bool save_file_list(installed_package& record);

// The context's array of installed records.
void append_installed(run_context& context, std::unique_ptr<installed_package> record);
int find_installed_index(const run_context& context, const std::string& name);
installed_package* find_installed_record(const run_context& context, const std::string& name);
// Removes entries [first, last) and destroys them.
void remove_installed(run_context& context, int first, int last);
// Takes a record out of the array by identity without destroying it; empty when it is not there.
std::unique_ptr<installed_package> take_installed(run_context& context, const installed_package* record);
