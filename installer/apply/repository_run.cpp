#include "installer/apply/repository_run.h"

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "installer/apply/package_file_installation.h"
#include "installer/apply/postlog.h"
#include "installer/database/repository_scan.h"
#include "installer/planning/candidate_order.h"

namespace {

// Staging copies: the repository file stays on the disk until its package is installed, so a
// power cut during the run loses nothing (RAM does not survive it, and a normal start never
// looks there).
void stage_into_ram(repository_list& candidates)
{
    std::uint32_t budget = STAGING_BUDGET;
    for (auto& candidate : candidates) {
        if (candidate->file_size >= budget)
            continue;
        std::string staged = staging_path(STAGING_DIRECTORY, candidate->path);
        if (!copy_file(candidate->path, staged))
            continue;
        candidate->repository_path = candidate->path;
        candidate->path = staged;
        budget -= candidate->file_size;
    }
}

bool install_candidate(run_context& context, const repository_package& candidate, unsigned flags,
                       const previous_states& previous)
{
    if (!is_regular_file(candidate.path))
        return false;
    std::ifstream file(candidate.path, std::ios::binary);
    if (!file)
        return false;
    return install_package_file(context, file, flags, previous) == INSTALL_DONE;
}

// The nameless records that hold back a bundle's listed packages are no installed software.
bool any_named_package(const run_context& context)
{
    for (const auto& package : context.installed)
        if (!package->name.empty())
            return true;
    return false;
}

[[noreturn]] void halt_without_packages(run_context& context)
{
    std::fputs("\nERROR: router installation failed!!!\nPlease, reinstall.\n", context.console);
    std::fflush(context.console);
    // The router must not go on booting a system without software; wait to be reset.
    for (;;)
        pause();
}

}  // namespace

void process_repository(run_context& context, unsigned flags)
{
    struct stat status;
    if (stat(DOWNGRADE_MARKER, &status) == 0) {
        unlink(DOWNGRADE_MARKER);
        flags |= FLAG_DOWNGRADE;
    }

    repository_list candidates;
    scan_repositories(context, candidates, (flags & FLAG_RECOVER) != 0);
    order_candidates(context, candidates, (flags & FLAG_DOWNGRADE) != 0, true);

    previous_states previous;
    for (const auto& package : context.installed)
        previous[package->name] = package->disabled;

    if (!(flags & FLAG_RECOVER))
        stage_into_ram(candidates);
    sync();

    if (!candidates.empty())
        load_postlog(context);

    for (const auto& candidate : candidates) {
        bool installed = install_candidate(context, *candidate, flags, previous);
        // The staged copy goes either way; the repository file only once it is installed.
        if (!candidate->repository_path.empty())
            unlink(candidate->path.c_str());
        if (installed)
            unlink((candidate->repository_path.empty() ? candidate->path : candidate->repository_path).c_str());
    }

    if (!any_named_package(context))
        halt_without_packages(context);
}
