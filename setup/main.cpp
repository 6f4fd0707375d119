#include "setup/flows/start_up.h"

int main(int argc, char** argv)
{
    return setup_main(argc, argv);
}
