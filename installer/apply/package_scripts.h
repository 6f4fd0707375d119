#pragma once
#include <cstdint>
#include <string>

#include "installer/state/run_context.h"

class part_reader;

constexpr const char* INSTALL_SCRIPT = "oninstall";
constexpr const char* UNINSTALL_SCRIPT = "onuninstall";
constexpr unsigned SCRIPT_MODE = 0755;

// Every stored script starts with these lines, so that it runs under bash with the router's
// install profile loaded.
constexpr const char* SCRIPT_PROLOGUE = "#!/bin/bash\n\n. /vorn/lib/install/profile.sh\n\n";

// Runs the command with "/bin/bash -c", reading from /dev/null, and returns its wait status; -1
// when it could not be started or waited for.
int run_shell_command(const std::string& command);
// Runs the package's stored script, if it has one; false only when it ran and failed (reported).
bool run_script(run_context& context, const installed_package& package, const std::string& script_name);
enum class script_write { stored, broken_part, create_failed };

// Stores length bytes of the reader's current part as the package's script; reports a failure.
script_write write_script(run_context& context, const installed_package& package, part_reader& reader, std::uint32_t length,
                  const std::string& script_name);
