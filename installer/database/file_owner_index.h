#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "installer/state/run_context.h"

// The name of the first installed package whose file set holds the path; empty when none.
// Looks through every package: for many lookups build a file_owner_index instead.
std::string owner_of(const run_context& context, const std::string& path);

// Every owned path mapped to its first owner in array order, built once so that asking for
// the owner of each file of a large tree stays cheap. Holds pointers into the records' file
// sets: it is valid only while the installed records stay unchanged.
class file_owner_index {
public:
    explicit file_owner_index(const run_context& context);
    // The owner's name; empty when no package owns the path.
    std::string_view owner_of(std::string_view path) const;

private:
    // An open-addressing table at most half full: a slot is a path and the position of its
    // owner in packages_, far smaller than a node per path.
    std::size_t slot_of(std::string_view path) const;

    std::vector<const installed_package*> packages_;
    std::vector<const std::string*> paths_;  // null: free slot
    std::vector<std::uint32_t> owners_;
    std::size_t mask_ = 0;
};
