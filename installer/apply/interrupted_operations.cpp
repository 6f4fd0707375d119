#include "installer/apply/interrupted_operations.h"

#include <fstream>
#include <vector>

#include "installer/apply/package_operations.h"
#include "installer/apply/package_scripts.h"
#include "installer/database/installed_list.h"
#include "installer/database/operation_journal.h"
#include "installer/database/package_database.h"
#include "installer/state/console.h"

namespace {

// The version is the last file an installation writes.
bool record_is_complete(const installed_package& package)
{
    std::ifstream version_file(record_directory(package) + "version");
    std::uint32_t version = 0, build_time = 0;
    return static_cast<bool>(version_file >> version >> build_time);
}

}  // namespace

void finish_interrupted_operations(run_context& context)
{
    std::vector<installed_package*> records;
    for (const auto& record : context.installed)
        records.push_back(record.get());
    for (installed_package* package : records) {
        std::string word = interrupted_operation(*package);
        if (word.empty())
            continue;
        show_warning(context, "finishing the interrupted %s of %s", word.c_str(), package->label().c_str());
        std::int32_t requested = package->action;
        if (word == "install" && record_is_complete(*package)) {
            if (!package->disabled && !package->is_bundle)
                run_script(context, *package, INSTALL_SCRIPT);
            end_operation(*package);
        } else if (word == "install" || word == "uninstall") {
            uninstall_package(context, *package);
            take_installed(context, package);
            continue;
        } else if (word == "disable") {
            disable_package(context, *package);
        } else if (word == "enable") {
            enable_package(context, *package);
        } else {
            end_operation(*package);
        }
        package->action = requested;
    }
}
