#include "installer/query/run_query.h"

int main(int argc, char** argv)
{
    return run_query(argc, argv);
}
