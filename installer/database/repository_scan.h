#pragma once
#include <list>
#include <memory>
#include <string>

#include "installer/package/repository_package.h"
#include "installer/state/run_context.h"

using repository_list = std::list<std::unique_ptr<repository_package>>;

constexpr const char* REPOSITORY_DIRECTORY = "/var/pckg/";
constexpr const char* RAM_DIRECTORY = "/ram/";

// "/ram/" first when recovering, then "/var/pckg/"; broken files are reported and left in place.
void scan_repositories(run_context& context, repository_list& list, bool recover);
void scan_directory(run_context& context, const std::string& directory, repository_list& list);

// Only regular files are opened as packages (following links): nothing else can be read without
// the risk of waiting forever.
bool is_regular_file(const std::string& path);

// directory + "/" + the last component of path.
std::string staging_path(const std::string& directory, const std::string& path);
// Never leaves a partial destination behind.
bool copy_file(const std::string& source, const std::string& destination);
// Always a copy: RAM and the repository are different file systems.
bool move_file(const std::string& source, const std::string& destination);
