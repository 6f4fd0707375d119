#pragma once
#include <string>

// Every complaint of the builder goes to standard error with the program's name in front, so
// that build scripts show where a package build stopped.
void report_error(const std::string& message);

// For the fuzz target of the listing, which feeds it millions of broken files.
void silence_reports(bool silent);
