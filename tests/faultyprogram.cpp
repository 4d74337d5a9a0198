// The program with failing writes, for the whole-program fault test:
// VANTOREL_FAIL_WRITE=n makes the n-th write of dataReplaceFile fail as on a
// full disk. The shipped program has no such switch.
#include <cstdlib>

#include "host/host.h"
#include "writefaults.h"

int main(int argc, char **argv)
{
    if (const char *n = getenv("VANTOREL_FAIL_WRITE"))
        dataFailWrite(atol(n));
    return hostRun(argc, argv);
}
