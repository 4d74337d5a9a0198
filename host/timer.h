// Profiling timers: named nodes collecting duration samples; the host keeps
// one, "frame": the work of each frame between two screen updates.
#pragma once

#include <cstdint>

struct TimerNode {
    float *samples;   // every sample, in order (owned)
    int32_t count;
    int32_t capacity; // grows in steps of 10,000
    char *name;       // owned
    int32_t depth;    // nesting depth; always 0 here
    double start;     // seconds at which the current measurement began
    float average;    // mean of the samples after the first 200 (start-up frames)
    double total;     // sum of the samples after the first 200
    float minimum;
    float maximum;
    float last;
};

TimerNode *timerCreateNode(const char *name); // null when the name's hash is taken
TimerNode *timerFindNode(const char *name);
void timernodeAddValue(TimerNode *node, float seconds);

void timerBeginFrame(void);
void timerEndFrame(void);

// Frame count, mean, median, minimum and maximum of the "frame" node in ms,
// printed as one line at the end of a run.
void timerPrintFrameSummary(int framesPresented);
