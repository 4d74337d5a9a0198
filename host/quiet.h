// Quiet runs: the start-up and packing chatter of standard output goes aside,
// and only what a user needs reaches the terminal (errors, warnings, the
// run's summary).
#pragma once

#include <cstdio>

// From here on standard output goes aside. When the process then ends with
// a failure, the last lines that went aside (the reason for it) are shown.
void quietBegin(void);
// A start-up step begins: a failure shows what was printed since (its last
// few lines) as its reason.
void quietMark(void);
// Standard output is the terminal again: the summary lines follow. With
// showFailures, the lines set aside before the current step that report a
// failure (a missing picture, a missing track) are printed first.
void quietEnd(int showFailures);
// Where a line the user needs goes while standard output is aside: the
// terminal's standard output (standard output itself when not quiet).
FILE *quietTerminal(void);
