#include "installer/apply/bundle_installation.h"

#include <memory>
#include <set>
#include <vector>

#include "common/part_reader.h"
#include "installer/apply/change_application.h"
#include "installer/apply/package_operations.h"
#include "installer/apply/path_safety.h"
#include "installer/database/installed_list.h"
#include "installer/database/operation_journal.h"
#include "installer/database/record_saving.h"
#include "installer/planning/change_plan.h"
#include "installer/planning/install_check.h"
#include "installer/state/console.h"

namespace {

// A hold-back record: nameless, it conflicts with the named package, so that the plan keeps that
// package from being enabled for the rest of the run. It is never written to the database.
std::unique_ptr<installed_package> hold_back_record_against(const std::string& name)
{
    auto record = std::make_unique<installed_package>();
    record->conflicts.push_back(dependency_entry{name, 0, 0, 0});
    return record;
}

void hold_back_listed_packages(run_context& context, part_reader& reader, const previous_states& previous)
{
    std::vector<dependency_entry> listed;
    read_name_list(reader, listed);
    for (const dependency_entry& entry : listed) {
        auto state = previous.find(entry.name);
        if (state == previous.end() || state->second)
            append_installed(context, hold_back_record_against(entry.name));
    }
    reader.next_part();
}

}  // namespace

install_result install_bundle(run_context& context, part_reader& reader, unsigned flags,
                              const previous_states& previous)
{
    auto bundle = std::make_unique<installed_package>();
    if (!read_header(reader, *bundle))
        return INSTALL_FAILED;
    if (!is_safe_package_name(bundle->name) || !has_recordable_lists(*bundle)) {
        report_broken_package(context, *bundle);
        return INSTALL_FAILED;
    }
    flags |= FLAG_RECOVER;
    if (check_install(context, *bundle, flags) & ~flags)
        return INSTALL_REFUSED;
    replace_installed(context, bundle->name);
    if (!ensure_record_directory(context, *bundle))
        return INSTALL_FAILED;
    begin_operation(*bundle, "install");
    if (!save_record(context, *bundle)) {
        uninstall_package(context, *bundle);
        return INSTALL_FAILED;
    }
    end_operation(*bundle);
    const dependency_entry membership{bundle->name, bundle->version, bundle->version, 0};
    append_installed(context, std::move(bundle));

    std::set<std::string> former_members;
    for (const auto& package : context.installed)
        if (package->bundle.name == membership.name)
            former_members.insert(package->name);
    if (reader.current_type() == PART_BUNDLE_NAMES)
        hold_back_listed_packages(context, reader, previous);

    int count = 0;
    while (reader.current_type() == PART_PACKAGE) {
        std::uint64_t member_start = reader.position();
        std::optional<std::string> installed = install_single(context, reader, flags, previous, &membership);
        if (installed) {
            former_members.erase(*installed);
            ++count;
        }
        // A member whose header cannot be read leaves the reader where it was: nothing behind
        // it can be found, and trying again would never end.
        if (reader.current_type() == PART_PACKAGE && reader.position() == member_start)
            break;
        skip_to_next_member(reader);
    }
    if (count == 0)
        return INSTALL_NO_MEMBER;
    for (const std::string& name : former_members)
        if (installed_package* former = find_installed_record(context, name))
            former->action = ACTION_UNINSTALL;
    apply_changes(context, REPORT_NOTHING);
    set_progress_line(context, "");
    show_notice(context, "installed %s", bundle_label(membership.name, membership.minimum).c_str());
    return INSTALL_DONE;
}
