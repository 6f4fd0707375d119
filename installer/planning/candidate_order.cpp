#include "installer/planning/candidate_order.h"

std::vector<std::size_t> candidate_order(run_context&, const std::vector<const package_header*>& candidates, bool, bool)
{
    std::vector<std::size_t> order;
    for (std::size_t index = 0; index < candidates.size(); ++index)
        order.push_back(index);
    return order;
}
