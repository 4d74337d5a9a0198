// The start-up phase record: a stack of phases, the top one charged with the
// time until the next change.
#include "core/startup.h"

#include <chrono>

// Seconds on the steady clock; only differences are used.
static double timerNow(void)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

enum { STARTUP_NESTING = 8 };

const char *const startupPhaseNames[STARTUP_PHASES] = {"tables",  "pictures",  "curl table", "voronoi frames",
                                                       "objects", "variables", "tracks"};

static StartupTimes startupTimes;
static int startupRunning;
static StartupPhase startupStack[STARTUP_NESTING];
static int startupDepth;       // entries in startupStack; the top is the phase being charged
static int startupLost;        // pushes beyond the stack, matched by pops that change nothing
static double startupSince;    // when the top phase was last charged
static double startupBegan;

// Charges the time since the last change to the phase on top.
static void startupCharge(double now)
{
    startupTimes.seconds[startupStack[startupDepth - 1]] += now - startupSince;
    startupSince = now;
}

void timerStartupBegin(StartupPhase first)
{
    startupTimes = StartupTimes();
    startupRunning = 1;
    startupDepth = 1;
    startupLost = 0;
    startupStack[0] = first;
    startupBegan = startupSince = timerNow();
}

void timerStartupPush(StartupPhase phase)
{
    if (!startupRunning)
        return;
    if (startupDepth == STARTUP_NESTING) {
        startupLost++; // deeper than any loader nests: the outer phase keeps the time
        return;
    }
    startupCharge(timerNow());
    startupStack[startupDepth++] = phase;
}

void timerStartupPop(void)
{
    if (!startupRunning)
        return;
    if (startupLost > 0) {
        startupLost--;
        return;
    }
    if (startupDepth <= 1)
        return; // the bottom phase lasts until timerStartupEnd
    startupCharge(timerNow());
    startupDepth--;
}

void timerStartupEnd(void)
{
    if (!startupRunning)
        return;
    double now = timerNow();
    startupCharge(now);
    startupTimes.total = now - startupBegan;
    startupRunning = 0;
}

const StartupTimes *timerStartupTimes(void)
{
    return &startupTimes;
}
