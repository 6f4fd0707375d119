#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/package_header.h"
#include "common/version_number.h"

// A manifest is text, one "key value..." per line; blank lines and lines starting with "#" are
// ignored; relative paths are taken from the manifest's folder.
//
//   name system                     at most 16 characters, no "/"
//   version 3.0rc5                  2.9.3, 3.0, 3.0alpha2, 3.0beta, 3.0rc5 (numbers up to 255)
//   build-time 1700000000           seconds since 1970; default SOURCE_DATE_EPOCH or now
//   architecture i386               left out: readers assume i386
//   description Some text           repeated lines make a text of several lines
//   depends NAME [MIN] [MAX]        a bound is a version, or - (or 0) for none
//   provides NAME [MIN] [MAX] [EXTRA]
//   conflicts NAME [MIN] [MAX]
//   install-script FILE
//   uninstall-script FILE
//   tree FOLDER                     the files; left out: the package carries none
//   nodb yes                        installing leaves no database record
//
// A bundle starts with "bundle NAME VERSION", then its own build-time, architecture, depends,
// provides, conflicts, nodb and "bundle-names NAME...", then one section per contained package,
// each opened by a line "package" and holding the package keys above. Members take the bundle's
// build time unless they give their own.

// What one package of a manifest asks for: its header fields, its lists, and where its scripts
// and files come from (paths already resolved against the manifest's folder).
struct package_manifest {
    std::string name;
    version_number version = 0;
    std::uint32_t build_time = 0;
    std::string architecture;  // empty: no architecture part, readers then assume i386
    std::string description;
    bool has_description = false;
    std::vector<dependency_entry> dependencies;
    std::vector<dependency_entry> provides;
    std::vector<dependency_entry> conflicts;
    std::string install_script;
    std::string uninstall_script;
    std::string tree;  // empty: the package carries no file data
    int first_line = 0;
};

struct manifest {
    bool nodb = false;
    bool is_bundle = false;
    package_manifest bundle;  // the bundle's own header, for a bundle
    std::vector<std::string> bundle_names;
    std::vector<package_manifest> packages;  // exactly one for a single package
};

// Reads and checks a manifest file; each fault is reported on standard error with its line.
// default_build_time is used where the manifest gives none.
bool read_manifest(const std::string& path, std::uint32_t default_build_time, manifest& result);

// The same over manifest text already in memory; base_folder resolves relative file paths.
bool parse_manifest(const std::string& text, const std::string& source_name, const std::string& base_folder,
                    std::uint32_t default_build_time, manifest& result);
