// The demo host: start-up in its fixed order, the frame loop, shutdown.
#pragma once

#include <cstdint>

struct Screen;

// Tracker rows per second of music.
constexpr double ROWS_PER_SECOND = 22.666666666666668;

// Runs the whole program; the result is the process exit code.
int hostRun(int argc, char **argv);

// 1 when any argument after the program name is "-release" in any letter case.
int hostIsRelease(int argc, char **argv);

// What the post chain does this turn, decided from the variables as they
// stand after the effects have drawn.
struct PostPlan {
    int32_t blurH;            // coefficients, clamped to 0..255
    int32_t blurV;
    int32_t runBlurH;         // the float values decide, not the clamped ones
    int32_t runBlurV;
    int32_t runEdges;
    int32_t edgeShift;
    int32_t edgeAdditive;
    int32_t runAberration;
    int32_t runGlow;
    int32_t runGlitch;
    int32_t glitchX;
    int32_t glitchY;
    int32_t logoAlpha;        // 0: no logo this turn
    int32_t runBrightness;
    int32_t brightnessLevel;  // 255 leaves the picture unchanged
    int32_t frontLayerBefore; // foreground_mode 3: image layer before the chain
    int32_t frontLayerAfter;  // foreground_mode 4: image layer after the glitch
    int32_t glitchSlot;       // displacement picture of this moment (slot 0 is empty)
};

void hostPlanPost(PostPlan *plan, float fxTime);
// A plan with every pass of the chain on, the glitch included: what the
// bench times as the chain's worst case.
void hostPlanEveryPass(PostPlan *plan);
// Runs the chain of the plan on frame buffer 0, letterbox cleared last.
void hostRunPost(uint32_t *frame, const PostPlan *plan);

// The foreground effect fx_idx selects (0..6), or -1 for none.
int hostForegroundIndex(void);

// Draws one turn into the screen's frame buffers: variables from the tracks,
// background, foreground, debug views, post chain, letterbox. Presentation is
// the screen update's.
void hostDrawFrame(Screen *screen);

// What the last hostDrawFrame drew, for the bench's figures per effect.
struct FrameReport {
    int32_t background; // background_mode: 1 cleared, 2 tunnel, 3 image layer; others draw none
    int32_t foreground; // hostForegroundIndex(): 0..6, -1 for none
    int32_t frontLayer; // the image layer was drawn over the picture (foreground_mode 3 or 4)
    double postSeconds; // the post chain alone, letterbox included; 0 in the debug views
};
const FrameReport *hostLastFrame(void);

// The variables bound to tracks at start-up, in binding order (the host's own,
// then the effects' groups). Fills at most max and returns how many there are.
struct Cvar;
int hostTrackedList(Cvar **out, int max);

// The short sleeps some effects take between frames. Offline and benchmark
// runs switch them off: their frames follow music time, not the wall clock.
void hostPause(int milliseconds);
void hostSetPauses(int on);

// Sets the letterbox bars (rows 0..29 and 210..239) of a frame to 0.
void hostClearLetterbox(uint32_t *frame);
