#include "installer/apply/single_installation.h"

#include <memory>

#include "common/part_reader.h"
#include "installer/apply/change_application.h"
#include "installer/apply/package_operations.h"
#include "installer/apply/path_safety.h"
#include "installer/database/installed_list.h"
#include "installer/planning/change_plan.h"
#include "installer/planning/install_check.h"
#include "installer/planning/upgrade_space.h"
#include "installer/state/console.h"

namespace {

bool was_disabled(const previous_states& previous, const std::string& name)
{
    auto state = previous.find(name);
    return state != previous.end() && state->second;
}

// A recovery run reports a package it leaves untouched as installed.
void announce_unchanged(run_context& context, const installed_package& candidate)
{
    set_progress_line(context, std::string(78, ' '));
    set_progress_line(context, "");
    show_notice(context, "installed %s%s", candidate.disabled ? "(disabled) " : "", candidate.label().c_str());
}

}  // namespace

void skip_to_next_member(part_reader& reader)
{
    std::int32_t type = reader.current_type();
    while (type != PART_PACKAGE && type != -1) {
        // A member that failed may have left the reader failed inside its part; the parts
        // behind it are still there.
        if (!reader.bad())
            reader.clear();
        type = reader.next_part();
    }
}

bool replace_installed(run_context& context, const std::string& name)
{
    installed_package* installed = find_installed_record(context, name);
    if (!installed)
        return false;
    uninstall_package(context, *installed);
    take_installed(context, installed);
    return true;
}

std::optional<std::string> install_single(run_context& context, part_reader& reader, unsigned flags,
                                          const previous_states& previous, const dependency_entry* bundle)
{
    auto candidate = std::make_unique<installed_package>();
    if (!read_header(reader, *candidate))
        return std::nullopt;
    if (bundle)
        candidate->bundle = *bundle;
    // The name becomes a directory: one that leads elsewhere is refused before anything exists.
    if (!is_safe_package_name(candidate->name) || !has_recordable_lists(*candidate)) {
        report_broken_package(context, *candidate);
        return std::nullopt;
    }
    unsigned mask = bundle ? CHECK_SILENT : flags | CHECK_CONFLICT;
    unsigned check = check_install(context, *candidate, mask);
    candidate->disabled = was_disabled(previous, candidate->name);
    if (check & CHECK_CONFLICT) {
        candidate->disabled = true;
        check &= ~unsigned(CHECK_CONFLICT);
    }
    if ((check & CHECK_SAME) || (check & ~flags)) {
        if (bundle)
            skip_to_next_member(reader);
        else if ((check & CHECK_SAME) && (flags & FLAG_RECOVER))
            announce_unchanged(context, *candidate);
        if (find_installed_record(context, candidate->name))
            return candidate->name;
        return std::nullopt;
    }

    std::string name = candidate->name;
    if (!reader.is_nodb()) {
        // Refused before the plan touches anything: the old version stays installed and working.
        const installed_package* installed = find_installed_record(context, name);
        if (installed && !installed->is_bundle && !upgrade_fits(context, reader, *candidate, *installed))
            return std::nullopt;
        std::unique_ptr<installed_package> old_version;
        if (installed_package* existing = find_installed_record(context, name))
            old_version = take_installed(context, existing);
        installed_package* planned = candidate.get();
        append_installed(context, std::move(candidate));
        apply_changes(context, REPORT_CHANGES);
        if (old_version)
            uninstall_package(context, *old_version);
        candidate = take_installed(context, planned);
        // The plan may have uninstalled the newcomer itself (a dependency it brought down).
        if (!candidate)
            return std::nullopt;
    }
    if (!install_package(context, *candidate, reader))
        return std::nullopt;
    append_installed(context, std::move(candidate));
    apply_changes(context, REPORT_NOTHING);
    return name;
}
