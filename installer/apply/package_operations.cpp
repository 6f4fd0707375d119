#include "installer/apply/package_operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/file_descriptor.h"
#include "common/part_reader.h"
#include "installer/apply/file_installation.h"
#include "installer/apply/file_relocation.h"
#include "installer/apply/file_removal.h"
#include "installer/apply/install_progress.h"
#include "installer/apply/landing_guard.h"
#include "installer/apply/package_directories.h"
#include "installer/apply/package_scripts.h"
#include "installer/apply/path_safety.h"
#include "installer/database/operation_journal.h"
#include "installer/database/package_database.h"
#include "installer/database/record_saving.h"
#include "installer/state/console.h"

namespace {

constexpr const char* DISABLED_MARKER = "disabled";

void remove_record_directory(const installed_package& package)
{
    // A nameless record's directory would be the database itself.
    if (package.name.empty())
        return;
    std::string directory = record_directory(package);
    DIR* listing = opendir(directory.c_str());
    if (!listing)
        return;
    // The version goes first: a record cut short after that reads as damaged, never as a
    // complete record (or a bundle record) whose files are gone.
    unlink((directory + "version").c_str());
    while (dirent* entry = readdir(listing)) {
        if (entry->d_name[0] != '.')
            unlink((directory + entry->d_name).c_str());
    }
    closedir(listing);
    // Left-over temporaries of interrupted record writes would keep the directory alive.
    remove_stale_temporaries(directory);
    unlink((directory + OPERATION_JOURNAL).c_str());
    rmdir(directory.c_str());
}

// A failed installation leaves nothing behind: the directories it made go once they are empty
// again, and so does the disabled area it set up. Directories that were there before stay.
void remove_created_directories(const installed_package& package, const std::vector<std::string>& created)
{
    for (auto directory = created.rbegin(); directory != created.rend(); ++directory)
        rmdir(directory->c_str());
    if (package.disabled)
        prune_empty_directories(disabled_area(package));
}

// Each script part is taken only where it may stand; one that follows the file data is not seen.
bool store_script(run_context& context, installed_package& package, part_reader& reader, const char* script_name)
{
    switch (write_script(context, package, reader, reader.current_part_size(), script_name)) {
    case script_write::stored:
        reader.next_part();
        return true;
    case script_write::create_failed:
        // The failure is named once more for the script; errno still tells what went wrong.
        report_create_failure(context, package, script_name);
        return false;
    case script_write::broken_part:
        // A part that ends early is no failure to create anything: saying so would mislead.
        return false;
    }
    return false;
}

}  // namespace

bool install_package(run_context& context, installed_package& package, part_reader& reader)
{
    show_install_progress(context, package, reader);
    bool nodb = reader.is_nodb();
    std::vector<std::string> created_directories;
    auto undo = [&] {
        if (nodb) {
            // Such a package has no database directory of its own: the one its scripts went into
            // belongs to the installed package of that name, which must keep its record.
            remove_files(context, package);
        } else {
            uninstall_package(context, package);
        }
        remove_created_directories(package, created_directories);
        return false;
    };
    if (!nodb && !ensure_record_directory(context, package))
        return false;
    if (!nodb)
        begin_operation(package, "install");
    if (reader.current_type() == PART_INSTALL_SCRIPT && !store_script(context, package, reader, INSTALL_SCRIPT))
        return undo();
    if (reader.current_type() == PART_UNINSTALL_SCRIPT && !store_script(context, package, reader, UNINSTALL_SCRIPT))
        return undo();
    if (reader.current_type() == PART_FILES) {
        if (!install_files(context, package, reader, nodb, created_directories))
            return undo();
        reader.next_part();
    }
    if (!nodb && !save_record(context, package))
        return undo();
    sync();
    if (!package.disabled)
        run_script(context, package, INSTALL_SCRIPT);
    if (!nodb)
        end_operation(package);
    if (package.bundle.name.empty()) {
        set_progress_line(context, "");
        show_notice(context, "installed %s%s", package.disabled ? "(disabled) " : "", package.label().c_str());
    }
    return true;
}

void uninstall_package(run_context& context, installed_package& package)
{
    begin_operation(package, "uninstall");
    run_script(context, package, UNINSTALL_SCRIPT);
    remove_files(context, package);
    remove_record_directory(package);
    package.action = ACTION_NONE;
}

void disable_package(run_context& context, installed_package& package)
{
    std::string area = disabled_area(package);
    package.action = ACTION_NONE;
    if (!relocation_is_safe(context, package, area, false, "disable"))
        return;
    begin_operation(package, "disable");
    run_script(context, package, UNINSTALL_SCRIPT);
    mkdir(DISABLED_AREA_ROOT, INSTALLER_DIRECTORY_MODE);
    mkdir(area.c_str(), INSTALLER_DIRECTORY_MODE);
    // The directories just made may have lost a race with a link planted meanwhile.
    if (directory_path_fault(area, true) != 0) {
        show_error(context, "can not disable %s: %s leads out of %s", package.label().c_str(), area.c_str(), area.c_str());
        end_operation(package);
        return;
    }
    relocate_files(context, package, area, false);
    // A list that cannot be saved keeps the operation open: the next start finishes it.
    if (!save_file_list(context, package))
        return;
    owned_descriptor marker(open((record_directory(package) + DISABLED_MARKER).c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    package.disabled = true;
    end_operation(package);
}

void enable_package(run_context& context, installed_package& package)
{
    package.action = ACTION_NONE;
    if (!relocation_is_safe(context, package, disabled_area(package), true, "enable"))
        return;
    begin_operation(package, "enable");
    relocate_files(context, package, disabled_area(package), true);
    if (!save_file_list(context, package))
        return;
    unlink((record_directory(package) + DISABLED_MARKER).c_str());
    run_script(context, package, INSTALL_SCRIPT);
    package.disabled = false;
    end_operation(package);
}
