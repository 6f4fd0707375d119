#include "installer/planning/candidate_order.h"

#include <list>

#include "installer/planning/relations.h"
#include "installer/state/console.h"

namespace {

bool related_by_name(const package_header& a, const package_header& b)
{
    return names_package(a, b.name) || names_package(b, a.name);
}

// Whether candidate q survives the comparison with every other candidate related to it by name.
bool survives(run_context& context, const std::vector<const package_header*>& candidates, std::size_t q_index,
              bool prefer_older, bool verbose)
{
    const package_header& q = *candidates[q_index];
    for (std::size_t r_index = 0; r_index < candidates.size(); ++r_index) {
        if (r_index == q_index)
            continue;
        const package_header& r = *candidates[r_index];
        if (!related_by_name(q, r))
            continue;
        int better = compare_packages(r, q);
        if (prefer_older)
            better = -better;
        if (better > 0) {
            if (verbose)
                show_warning(context, "omitting package %s: %s package is already provided", q.label().c_str(),
                             prefer_older ? "older" : "newer");
            return false;
        }
        if (better == 0 && !(q.is_bundle && !r.is_bundle))
            return false;
    }
    return true;
}

}  // namespace

std::vector<std::size_t> candidate_order(run_context& context, const std::vector<const package_header*>& candidates,
                                         bool prefer_older, bool verbose)
{
    std::vector<std::size_t> chosen;
    for (std::size_t index = 0; index < candidates.size(); ++index)
        if (survives(context, candidates, index, prefer_older, verbose))
            chosen.push_back(index);

    // Each goes right after the last one placed that it needs or that conflicts with it.
    std::list<std::size_t> ordered;
    for (std::size_t x : chosen) {
        const package_header& candidate = *candidates[x];
        auto position = ordered.end();
        while (position != ordered.begin()) {
            auto previous = std::prev(position);
            const package_header& placed = *candidates[*previous];
            if (depends_on(candidate, placed) || conflicts_with(placed, candidate))
                break;
            position = previous;
        }
        ordered.insert(position, x);
    }
    return {ordered.begin(), ordered.end()};
}
