// The demo host: start-up in its fixed order, the frame loop, shutdown.
#pragma once

#include <cstdint>

struct CarryMap;
struct Cvar;
struct EffectContext;
struct PostPlan;
struct Screen;

// Tracker rows per second of music.
constexpr double ROWS_PER_SECOND = 22.666666666666668;

// Runs the whole program; the result is the process exit code.
int hostRun(int argc, char **argv);

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------
// How a start-up goes: the run mode, and the switches with which tests and
// benchmarks take the same path as the program.
struct HostSetup {
    int32_t release;       // assets from the packs "demo.dat" and "demotrk.dat"; nothing is written
    int32_t rebuild;       // the curl effect builds its table instead of reading its cache
    const char *assetTree; // base path of a private asset tree (with its final '/'); null: the run mode's
    int32_t offline;       // frame buffers without a window
    int32_t musicMode;     // MUSIC_DEVICE, MUSIC_SILENT or MUSIC_OFFLINE
    int32_t pauses;        // the effects' short sleeps after their frames (live runs only)
    int32_t readOnly;      // nothing is written into the tree: no caches, variable files or pack
};

// The whole start-up in its fixed order, from the tables to the demo clock;
// once per process. Ends the process with exit code 10 where start-up cannot
// go on (no window, no music, a missing essential asset).
Screen *hostStartup(const HostSetup *setup);
// What the effects get from the host; valid after hostStartup.
const EffectContext *hostEffectContext(void);
// The sync device that owns every track; valid after hostStartup.
struct SyncDevice *hostSyncDevice(void);

// The variables bound to tracks at start-up, in binding order (the host's own,
// then the effects' groups). Fills at most max and returns how many there are.
int hostTrackedList(Cvar **out, int max);

// ---------------------------------------------------------------------------
// The frame
// ---------------------------------------------------------------------------
// The foreground effect fx_idx selects (0..6), or -1 for none.
int hostForegroundIndex(void);

// The post chain's plan for this turn, decided from the variables as they
// stand after the effects have drawn: the passes, the logo over the intro,
// the glitch picture for the demo clock at demoSeconds (negative: read the
// clock now) and the image layer over the picture.
void hostPlanPost(PostPlan *plan, float fxTime, double demoSeconds);
// Every pass on, with the first glitch picture and the logo: what the bench
// times as the chain's worst case.
void hostPlanEveryPass(PostPlan *plan);

// Draws one turn into the screen's frame buffers: variables from the tracks,
// background, foreground, debug views, post chain, letterbox. Presentation is
// the screen update's.
void hostDrawFrame(Screen *screen);

// One turn drawn for a given moment instead of the clock's.
struct FrameRequest {
    double music;         // music position in seconds (already held at the music's end)
    double demo;          // demo clock in seconds, for the glitch pictures; negative: read the clock
    int32_t mouseButtons; // the debug views' buttons
    int32_t replay;       // a replayed frame: no effect pauses
    int32_t post;         // 0: the picture is not needed: the post chain is left out, only the bars cleared
};
void hostDrawFrameAt(Screen *screen, const FrameRequest *request);

// What the turn hostDrawFrame would draw now takes from earlier turns and
// leaves for later ones, with the variables as they stand (fx/carry.h).
void hostFrameCarry(CarryMap *map);

// What the last hostDrawFrame drew, for the bench's figures per effect.
struct FrameReport {
    int32_t background; // background_mode: 1 cleared, 2 tunnel, 3 image layer; others draw none
    int32_t foreground; // hostForegroundIndex(): 0..6, -1 for none
    int32_t frontLayer; // the image layer was drawn over the picture (foreground_mode 3 or 4)
    double postSeconds; // the post chain alone, letterbox included; 0 in the debug views
};
const FrameReport *hostLastFrame(void);
