#include "installer/planning/install_check.h"

#include <string>

#include "installer/database/installed_list.h"
#include "installer/planning/relations.h"
#include "installer/state/console.h"

namespace {

// The dependency as the user reads it: its name, and the least version when there is one.
std::string requirement_text(const dependency_entry& dependency)
{
    if (dependency.minimum == 0)
        return dependency.name;
    return package_label(dependency.name, dependency.minimum);
}

}  // namespace

unsigned check_install(run_context& context, const package_header& candidate, unsigned mask)
{
    unsigned result = 0;
    bool reported = false;
    std::string label = candidate.label();

    if (const installed_package* installed = find_installed_record(context, candidate.name)) {
        int comparison = compare_packages(candidate, *installed);
        if (comparison < 0) {
            result = CHECK_OLDER;
            if (!(mask & CHECK_OLDER)) {
                show_warning(context, "omitting package %s: newer package %s is already installed", label.c_str(),
                             installed->label().c_str());
                reported = true;
            }
        } else if (comparison > 0) {
            result = CHECK_NEWER;
        } else {
            result = CHECK_SAME;
            if (!(mask & CHECK_SAME)) {
                show_warning(context, "omitting package %s: it is already installed", label.c_str());
                reported = true;
            }
        }
    }

    if (!candidate.architecture.empty() && candidate.architecture != SYSTEM_ARCHITECTURE) {
        result |= CHECK_UNUSABLE;
        if (!reported && !(mask & CHECK_UNUSABLE)) {
            show_error(context, "can not install %s: it is not made for %s, but for %s", label.c_str(),
                       SYSTEM_ARCHITECTURE, candidate.architecture.c_str());
            reported = true;
        }
    }

    for (const dependency_entry& dependency : candidate.dependencies) {
        if (!find_providers(context, dependency, false).empty())
            continue;
        result |= CHECK_UNUSABLE;
        if (!reported && !(mask & CHECK_UNUSABLE)) {
            show_error(context, "can not install %s: %s is not installed, but is required", label.c_str(),
                       requirement_text(dependency).c_str());
            reported = true;
        }
        break;
    }

    if (const installed_package* conflicting = first_conflicting(context, candidate)) {
        result |= CHECK_CONFLICT;
        if (!reported && !(mask & CHECK_CONFLICT))
            show_error(context, "can not install %s: it conflicts with %s", label.c_str(),
                       conflicting->label().c_str());
    }
    return result;
}
