#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/state/run_context.h"

// The database is one directory per installed package under /var/pdb/, holding its version,
// lists, file list, scripts and schedule; loading it fills the context's installed records.

constexpr const char* DATABASE_DIRECTORY = "/var/pdb/";

// "/var/pdb/" + name + "/".
std::string record_directory(const installed_package& record);
// "/x/" + name: where a disabled package keeps its files.
std::string disabled_area(const installed_package& package);

// Sets the quiet flag and loads every record under /var/pdb/ into the context, with the requests
// of their schedule files (the files stay until consume_schedules).
void load_database(run_context& context, bool quiet);
// Fills a record from the directory of that name; damage schedules an uninstall.
void load_record(installed_package& record, const std::string& name);

// What reading a record found it could not make sense of: a missing or unreadable "version", a
// malformed "deps", "provides" or "conflicts" list (the entries before the fault are kept).
enum record_damage : unsigned {
    DAMAGE_VERSION = 0x1,
    DAMAGE_DEPS = 0x2,
    DAMAGE_PROVIDES = 0x4,
    DAMAGE_CONFLICTS = 0x8,
};
// The names under /var/pdb/ that are records (not beginning with "."), in listing order; false
// when the directory cannot be opened.
bool list_record_names(std::vector<std::string>& names);
// Reads a record as load_record does, the pending schedule included, but changes nothing on
// disk: the temporaries of interrupted writes stay. Without the file list
// only its existence is looked at (it still tells a bundle record from a package). Returns the
// record_damage bits found; any of them also schedules an uninstall, as loading would.
unsigned read_record(installed_package& record, const std::string& name, bool with_file_list = true);
// Calls visit with each path of the record's "files" list, made absolute as loading makes it,
// without building the file set; stops when visit returns false. The view lasts only for the call.
void for_each_listed_file(const installed_package& record, const std::function<bool(std::string_view)>& visit);
// The action a schedule file's word asks for; ACTION_NONE for no file or an unknown word.
std::int32_t scheduled_action_in(const std::string& schedule_path);
// Deletes what record writes cut short by a power cut left in the directory (ends in "/").
void remove_stale_temporaries(const std::string& directory);
// The temporaries an interrupted record write can leave in the directory (ends in "/").
std::vector<std::string> temporary_paths_in(const std::string& directory);
// Reads the record's schedule file; it stays until consume_schedules.
void read_schedule(installed_package& record);
// Deletes the schedule files of every record, once their requests have been carried out or refused.
void consume_schedules(const run_context& context);
