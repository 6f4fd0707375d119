#pragma once

// The whole run of setup: start-up, one installation flow, reboot. Never returns: the run ends in a
// restart of the machine, also in the waiting parent of the start-up fork.
[[noreturn]] void setup_main(int argc, char** argv);
