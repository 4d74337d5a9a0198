// The shape every effect shares: a setup run once at start-up, a per-frame
// routine, its variables and the ones sync tracks drive; and the one table
// that lists every effect, over which the setup, selection and binding
// orders are index lists.
#pragma once

#include <cstdint>

#include "core/startup.h"
#include "cvar/cvar.h"
#include "fx/carry.h"

struct RenderView;

// What the host gives every effect: set once at start-up, except the mouse
// buttons, which the host copies in before each frame.
struct EffectContext {
    RenderView *view;       // the renderer's view, which the 3D effects share
    uint32_t *scratch1;     // frame buffer 1 (row 0): the voxel landscape's blur, the greets' post passes
    uint32_t *scratch2;     // frame buffer 2 (row 0): the tunnel, the voxel landscape's source
    int32_t mouseButtons;   // buttons held this frame; the voronoi mosaic shows its source while any is
    int32_t release;        // a release run: nothing is written into the asset tree
    int32_t rebuild;        // "-rebuild": the curl table is built, never read from its cache
    void (*pause)(int milliseconds); // the short sleep some effects take after a frame; null: none
    int32_t unseen;         // a replayed frame whose picture nobody looks at: what only draws may be left out
};

// The short sleep of an effect, when the host wants one.
inline void fxPause(const EffectContext *ctx, int milliseconds)
{
    if (ctx->pause)
        ctx->pause(milliseconds);
}

typedef void (*EffectSetupFn)(const EffectContext *ctx);
// pixels: frame buffer 0 for a foreground effect, frame buffer 2 for the
// tunnel (which ignores t); t: the value of fx_time.
typedef void (*EffectRenderFn)(const EffectContext *ctx, uint32_t *pixels, float t);
// What a frame of the effect takes from earlier frames and leaves for later
// ones, with the variables as they stand for that frame (fx/carry.h).
typedef void (*EffectCarryFn)(const EffectContext *ctx, CarryMap *map, float t);
// The memory of the records the effect keeps from frame to frame; fills at
// most max blocks and returns how many there are.
typedef int (*EffectCarriedFn)(CarriedBlock *blocks, int max);

struct Effect {
    const char *name;        // as the bench and the tests name it
    EffectSetupFn setup;     // null: set up by the effects that draw it (the object layer)
    EffectRenderFn render;   // null: drawn by the host its own way (the image layer)
    const CvarList *vars;    // in registration order
    const CvarList *tracked; // in binding order
    StartupPhase phase;      // where its setup's time is charged, besides what the loaders mark
    void (*bound)(void);     // run right after its variables are bound, or null
    EffectCarryFn carry;     // null: never drawn by the host (the object layer) or drawn its own way (the image layer)
    EffectCarriedFn carried; // null: the effect keeps nothing from one frame to the next
};

// Entries of the table.
enum {
    FX_VOXEL,
    FX_CURL,
    FX_FISH,
    FX_VORONOI,
    FX_INTRO,
    FX_PARTICLES,
    FX_TUNNEL,
    FX_IMAGE_LAYER,
    FX_GREETS,
    FX_OBJECT_LAYER,
    FX_EFFECTS
};
enum {
    FX_SETUPS = 9,      // every entry but the object layer
    FX_FOREGROUNDS = 7, // fx_idx 0..6
    FX_BINDINGS = 9,    // groups announced "1" to "9"
};

extern const Effect fxEffects[FX_EFFECTS];
extern const int fxSetupOrder[FX_SETUPS];
extern const int fxForegroundOrder[FX_FOREGROUNDS]; // by fx_idx
extern const int fxBindingOrder[FX_BINDINGS];

// The foreground effects, in fx_idx order.
void curl_setup(const EffectContext *ctx);         void curl_render(const EffectContext *ctx, uint32_t *pixels, float t);         // 0
void envtest_setup(const EffectContext *ctx);      void envtest_render(const EffectContext *ctx, uint32_t *pixels, float t);      // 1
void intro_setup(const EffectContext *ctx);        void intro_render(const EffectContext *ctx, uint32_t *pixels, float t);        // 2
void voxel_setup(const EffectContext *ctx);        void voxel_render(const EffectContext *ctx, uint32_t *pixels, float t);        // 3
void fishtest1_setup(const EffectContext *ctx);    void fishtest1_render(const EffectContext *ctx, uint32_t *pixels, float t);    // 4
void particles_setup(const EffectContext *ctx);    void particles_render(const EffectContext *ctx, uint32_t *pixels, float t);    // 5
void greets_setup(const EffectContext *ctx);       void greets_render(const EffectContext *ctx, uint32_t *pixels, float t);       // 6

// Backgrounds and layers.
void simpletunnel_setup(const EffectContext *ctx); void simpletunnel_render(const EffectContext *ctx, uint32_t *pixels, float t); // into frame buffer 2
void backimage_setup(const EffectContext *ctx);    void backimage_draw(uint32_t *pixels, int front);                             // the image layer
void engtest_setup(const EffectContext *ctx);      void engtest_render(const EffectContext *ctx, uint32_t *pixels, float t);      // the object layer

// Each effect's variables, registration order and binding order.
extern const CvarList voxel_vars, voxel_tracked, curl_vars, curl_tracked, fishtest_vars, fishtest_tracked,
    envtest_vars, envtest_tracked, intro_vars, intro_tracked, particles_vars, particles_tracked, simpletunnel_vars,
    simpletunnel_tracked, backimage_vars, backimage_tracked, greets_vars, greets_tracked, engtest_vars,
    engtest_tracked;

// What a frame of each takes from earlier frames (fx/carry.h).
void curl_carry(const EffectContext *ctx, CarryMap *map, float t);
void envtest_carry(const EffectContext *ctx, CarryMap *map, float t);
void intro_carry(const EffectContext *ctx, CarryMap *map, float t);
void voxel_carry(const EffectContext *ctx, CarryMap *map, float t);
void fishtest_carry(const EffectContext *ctx, CarryMap *map, float t);
void particles_carry(const EffectContext *ctx, CarryMap *map, float t);
void greets_carry(const EffectContext *ctx, CarryMap *map, float t);
void simpletunnel_carry(const EffectContext *ctx, CarryMap *map, float t);
void backimage_carry(int front, CarryMap *map); // as backimage_draw(pixels, front) would draw
int curl_carried(CarriedBlock *blocks, int max);
int particles_carried(CarriedBlock *blocks, int max);

// From the intro's group on, the intro copies its time into intro_time.
void intro_enableTimeCopy(void);
