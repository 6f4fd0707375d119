#include "setup/flows/setup_context.h"

volatile sig_atomic_t installation_finished = 0;
terminal_state console_terminal;
