#include "installer/apply/change_application.h"

#include <string>
#include <vector>

#include "installer/apply/package_operations.h"
#include "installer/database/installed_list.h"
#include "installer/planning/change_plan.h"
#include "installer/state/console.h"

void apply_changes(run_context& context, report_level level)
{
    std::vector<installed_package*> removals;
    std::vector<installed_package*> enables;
    plan_changes(context, removals, enables, level);
    for (installed_package* package : removals) {
        if (package->action == ACTION_UNINSTALL) {
            uninstall_package(context, *package);
            take_installed(context, package);
        } else if (package->action == ACTION_DISABLE) {
            std::string label = package->label();
            if (level == REPORT_CHANGES)
                set_progress_line(context, "disabling " + label + "...");
            disable_package(context, *package);
            if (level == REPORT_CHANGES)
                show_notice(context, "disabled %s", label.c_str());
        }
    }
    for (installed_package* package : enables) {
        std::string label = package->label();
        if (level == REPORT_CHANGES)
            set_progress_line(context, "enabling " + label + "...");
        enable_package(context, *package);
        if (level == REPORT_CHANGES)
            show_notice(context, "enabled %s", label.c_str());
    }
}
