#include "setup/flows/start_up.h"

int main(int argc, char** argv)
{
    setup_main(argc, argv);
}
