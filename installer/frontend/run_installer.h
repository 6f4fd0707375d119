#pragma once

// The whole run of installer: arguments, change of root, database, and one of the run modes.
int run_installer(int argc, char** argv);
