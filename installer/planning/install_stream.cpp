#include "installer/planning/install_stream.h"

int install_from_stream(run_context&, std::istream&, unsigned, const previous_states&)
{
    return 1;
}
