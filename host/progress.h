// The progress line of the offline exports (PNG frames and video): frames
// done, frames per second and the time left, on standard error.
#pragma once

#include <chrono>
#include <string>

struct Progress {
    const char *label;  // "Capture", "Video"
    long total;         // frames the run writes in all
    bool terminal;      // standard error is a terminal: one line, redrawn in place
    std::chrono::steady_clock::time_point began;
    std::chrono::steady_clock::time_point reported;
};

void progressBegin(Progress *progress, const char *label, long total);
// "Label: frame N of M, F frames/s, m:ss left": redrawn at most four times a
// second on a terminal, a new line every two seconds otherwise; always when last.
void progressReport(Progress *progress, long done, bool last);
// Ends a line left open on a terminal (before a message of failure).
void progressBreak(const Progress *progress);
double progressElapsed(const Progress *progress); // seconds since progressBegin
std::string progressClock(double seconds);        // "m:ss"
