#include "installer/state/run_context.h"

run_context& get_run_context()
{
    static run_context* context = new run_context;
    return *context;
}
