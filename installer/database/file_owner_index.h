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
// the owner of each file of a large tree stays cheap. Refers to the paths in the records' file
// sets: it is valid only while the installed records stay unchanged.
class file_owner_index {
public:
    explicit file_owner_index(const run_context& context);
    // The owner's name; empty when no package owns the path.
    std::string_view owner_of(std::string_view path) const;

private:
    // An open-addressing table two thirds full at most. A slot holds the number of a path
    // (counting through the packages' sets in array order) plus one, 0 when free: four bytes a
    // path, where the text stays in the sets.
    std::size_t slot_of(std::string_view path, std::size_t hash) const;
    std::size_t package_of(std::uint32_t number) const;
    std::string_view path_of(std::uint32_t number) const;

    std::vector<const installed_package*> packages_;
    std::vector<std::uint32_t> firsts_;  // the number of each package's first path
    std::vector<std::uint32_t> slots_;
};
