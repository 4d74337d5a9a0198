// Entry point of the vantorel program.
#include "host/host.h"

int main(int argc, char **argv)
{
    return hostRun(argc, argv);
}
