// Where start-up spends its time: the loaders and table builders of every
// layer mark their own work, and the host reads the phases at the end.
#pragma once

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
