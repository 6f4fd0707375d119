#pragma once

// The whole run of setup: start-up, one installation flow, reboot. Returns only in the parent of the
// start-up fork (the wait status of the child, or -1).
int setup_main(int argc, char** argv);
