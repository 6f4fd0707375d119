#pragma once
#include <string>
#include <string_view>
#include <unordered_map>

#include "installer/frontend/run_context.h"

// Every owned path mapped to its first owner in array order, built once so that asking for
// the owner of each file of a large tree stays cheap. Holds views into the records' file sets:
// it is valid only while the installed records stay unchanged.
class file_owner_index {
public:
    explicit file_owner_index(const run_context& context);
    // The owner's name; empty when no package owns the path.
    std::string_view owner_of(std::string_view path) const;

private:
    std::unordered_map<std::string_view, const installed_package*> owners_;
};
