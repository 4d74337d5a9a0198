// The bench run: every frame's time filed under what the frame drew, and the
// table and JSON that state each figure also in copies of one frame buffer,
// so that runs on different machines can be compared.
#pragma once

#include <cstdio>

#include "host/host.h"
#include "host/preroll.h"
#include "core/startup.h"

// What a bench run measured besides the frames.
struct BenchRun {
    double fps;
    double start;
    const StartupTimes *startup;
    double firstFrameSeconds; // from the entry point to the end of the first frame
    double postEveryPassMs;   // median of the chain with every pass on (hostPlanEveryPass)
    double frameCopyMs;       // median of one 320 x 240 x 4-byte copy (benchMeasureFrameCopy)
    double peakResidentMb;    // peak resident set of the process (benchPeakResidentMb)
    PrerollReport preroll;    // the replay before --start (none with --cold-start)
};

void benchBegin(void); // forgets every sample
// Files one frame's whole time (sync update to letterbox) and its post chain
// under the effects and backgrounds the report names.
void benchAddFrame(double seconds, const FrameReport *report);

// Median milliseconds of copying one whole frame buffer, in batches so that
// the clock's resolution does not count.
double benchMeasureFrameCopy(void);
double benchPeakResidentMb(void);

// The table for a person.
void benchPrintTable(FILE *out, const BenchRun *run);
// The same figures as one JSON object; 0 when the file could not be written.
int benchWriteJson(FILE *out, const BenchRun *run);
