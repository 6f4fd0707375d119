#pragma once

// The packages to install, in an order where every package comes after the packages it depends on.
// An install_order borrows the package_list it was built from (which must outlive it) and holds
// indices into its entries; later changes to the selection do not affect it.

#include <cstddef>
#include <string>
#include <vector>

#include "setup/tui/package_list.h"

struct install_order {
    const package_list* list = nullptr;
    std::vector<size_t> sequence;  // indices into list->entries
    size_t cursor = 0;
};

void install_order_init(install_order& order, const package_list& list);
// The path of the next package to install; false when the order is exhausted.
bool install_order_next(install_order& order, std::string& path_out);
// The name of the package install_order_next returned last: all NUL, then at most 16 characters
// (empty before the first call).
void install_order_name(const install_order& order, char (&name_out)[20]);
