#pragma once
#include "installer/state/run_context.h"

constexpr const char* DOWNGRADE_MARKER = "/DOWNGRADE";
constexpr const char* STAGING_DIRECTORY = "/ram";
// Package files smaller than what is left of this are copied into RAM before installing.
constexpr std::uint32_t STAGING_BUDGET = 10485760;

// The boot-time run: install every package file waiting in the repository, newest of each name,
// in dependency order; installed files are deleted, failed ones are kept for the next start.
// Does not return when nothing at all is left installed.
void process_repository(run_context& context, unsigned flags);
