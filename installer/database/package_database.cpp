#include "installer/database/package_database.h"

void load_database(run_context& context, bool quiet)
{
    context.quiet = quiet;
}
