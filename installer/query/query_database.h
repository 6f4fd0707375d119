#pragma once
#include <string>
#include <vector>

#include "installer/state/run_context.h"

// The installed records as installer-query sees them: read without changing anything on disk,
// kept in the listing order of /var/pdb/ (the order the owner rule goes by). The context's
// installed array owns the records; nothing else of the context is used.
struct query_database {
    run_context context;
    // What could not be read: a record file (with its package's name) or /var/pdb/ itself.
    struct unreadable_file {
        std::string package;
        std::string path;
    };
    std::vector<unreadable_file> unreadable;
};

// False when /var/pdb/ itself cannot be read (then unreadable says so). Damaged records are kept,
// with what is wrong in unreadable. Without file lists, records hold no files.
bool read_query_database(query_database& database, bool with_file_lists);

// Prints "installer-query: cannot read PATH" on standard error for each unreadable file.
void report_unreadable(const query_database& database);

// Sorted by name, for output a person can scan.
std::vector<const installed_package*> records_by_name(const query_database& database);
