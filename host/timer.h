// Profiling timers: named nodes collecting duration samples (the host keeps
// one, "frame": the work of each frame between two screen updates), and the
// record of where start-up spends its time.
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

// ---------------------------------------------------------------------------
// Start-up phases
// ---------------------------------------------------------------------------

// Start-up is one interleaved sequence (an effect's setup loads pictures,
// objects and variables in turn), so the loaders mark their own work: a phase
// begun inside another pauses the outer one, and every second between
// timerStartupBegin and timerStartupEnd is charged to exactly one phase.
enum StartupPhase {
    STARTUP_TABLES,    // sine, square-root, reciprocal and noise tables, aberration mask, effect grids
    STARTUP_PICTURES,  // PNG loading, the glitch pictures' box blur
    STARTUP_CURL,      // the curl table: read from its cache or built
    STARTUP_VORONOI,   // the voronoi mosaic's cell frames
    STARTUP_OBJECTS,   // object files, meshes and scenes
    STARTUP_VARIABLES, // variable files
    STARTUP_TRACKS,    // track files
    STARTUP_PHASES
};

struct StartupTimes {
    double seconds[STARTUP_PHASES];
    double total; // timerStartupBegin to timerStartupEnd
};

extern const char *const startupPhaseNames[STARTUP_PHASES]; // "tables", "pictures", ...

// Outside timerStartupBegin .. timerStartupEnd the calls do nothing, so the
// loaders may mark themselves whenever they run.
void timerStartupBegin(StartupPhase first);
void timerStartupPush(StartupPhase phase);
void timerStartupPop(void);
void timerStartupEnd(void);
const StartupTimes *timerStartupTimes(void);

// Marks a loader's whole body, early returns included.
struct StartupScope {
    explicit StartupScope(StartupPhase phase) { timerStartupPush(phase); }
    ~StartupScope() { timerStartupPop(); }
    StartupScope(const StartupScope &) = delete;
    StartupScope &operator=(const StartupScope &) = delete;
};
