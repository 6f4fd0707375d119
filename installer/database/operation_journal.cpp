#include "installer/database/operation_journal.h"

#include <fstream>
#include <unistd.h>

#include "installer/database/atomic_file.h"
#include "installer/database/package_database.h"

namespace {

std::string journal_path(const installed_package& package)
{
    return record_directory(package) + OPERATION_JOURNAL;
}

}  // namespace

void begin_operation(const installed_package& package, const char* word)
{
    // A nameless record has no directory of its own: its path would be the database's.
    if (package.name.empty())
        return;
    // Failing to write it (a full disk) only loses the repair after a power cut; the operation
    // itself can still be carried out.
    write_file_atomically(journal_path(package), std::string(word) + '\n');
}

void end_operation(const installed_package& package)
{
    if (!package.name.empty())
        ::unlink(journal_path(package).c_str());
}

std::string interrupted_operation(const installed_package& package)
{
    if (package.name.empty())
        return {};
    std::ifstream journal(journal_path(package));
    std::string word;
    journal >> word;
    return word;
}
