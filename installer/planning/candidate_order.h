#pragma once
#include <cstddef>
#include <utility>
#include <vector>

#include "common/package_header.h"
#include "installer/state/run_context.h"

// Chooses among candidates of one name (the newest, or the oldest with prefer_older; of equal
// ones a bundle beats a single package, two equal singles both go) and puts the chosen in an
// order where each comes after what it depends on and after what conflicts with it. The result
// holds indices into the input.
std::vector<std::size_t> candidate_order(run_context& context, const std::vector<const package_header*>& candidates,
                                         bool prefer_older, bool verbose);

// Replaces the list (of raw or owning pointers, any sequence with push_back) by the chosen and
// ordered candidates; dropped owning pointers are destroyed with the old list.
template <class list_type>
void order_candidates(run_context& context, list_type& list, bool prefer_older, bool verbose)
{
    std::vector<typename list_type::value_type*> elements;
    std::vector<const package_header*> headers;
    for (auto& element : list) {
        elements.push_back(&element);
        headers.push_back(&*element);
    }
    list_type ordered;
    for (std::size_t index : candidate_order(context, headers, prefer_older, verbose))
        ordered.push_back(std::move(*elements[index]));
    list = std::move(ordered);
}
