#pragma once
#include <vector>

#include "installer/state/run_context.h"

// Whether a dependency's providers (disabled ones included) leave it served.
enum provider_status : int {
    PROVIDER_MET = 0,            // some provider is active
    PROVIDER_GONE = 1,           // no provider will be left at all
    PROVIDER_DISABLED_ONLY = 3,  // providers stay, but none of them enabled
};

provider_status dependency_provider_status(const std::vector<installed_package*>& providers);

// What planning and carrying out a plan say on the console.
enum report_level : int {
    REPORT_NOTHING = 0,  // silent
    REPORT_CHANGES = 1,  // progress, results and refused actions
};

// Turns the scheduled actions of the installed packages into a consistent plan: removals lists
// what to uninstall or disable (dependents first), enables what to enable (what is needed
// first). A plan that would leave nothing enabled is refused: every action is cleared.
void plan_changes(run_context& context, std::vector<installed_package*>& removals,
                  std::vector<installed_package*>& enables, report_level level);
