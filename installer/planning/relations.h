#pragma once
#include <string>
#include <vector>

#include "common/package_header.h"
#include "installer/state/run_context.h"

// Pure relations between package records; none of them prints anything.

bool satisfies(const package_header& package, const dependency_entry& entry);
bool ranges_overlap(const dependency_entry& a, const dependency_entry& b);
// Some provides entry of the package overlaps the entry.
bool provides_entry(const package_header& package, const dependency_entry& entry);
// a needs b (directly, or through the contained packages of either).
bool depends_on(const package_header& a, const package_header& b);
// a conflicts with b; not symmetric: of two providers of one name the higher extra number wins.
bool conflicts_with(const package_header& a, const package_header& b);
// The package, or one of its contained packages, has this name.
bool names_package(const package_header& package, const std::string& name);
// -1, 0 or 1: a is older than, the same as, or newer than b.
int compare_packages(const package_header& a, const package_header& b);

// Lookups in the context's installed array, in array order.

std::vector<installed_package*> find_providers(const run_context& context, const dependency_entry& entry,
                                               bool include_disabled);
// The first enabled installed package that conflicts with the candidate; null when none.
installed_package* first_conflicting(const run_context& context, const package_header& candidate);
