// The shape every effect shares: a setup run once at start-up, a per-frame
// routine, and the list of its variables that sync tracks drive.
#pragma once

#include <cstdint>

struct Cvar;
struct Texture;
struct RenderView;
struct Screen;

// An effect's tracked variables in binding order; the host binds them as one
// announced group.
struct TrackedVars {
    Cvar *const *vars;
    int count;
};

// What the effects may use of the host: its screen, render view and the
// command line (read once at start-up).
struct EffectHost {
    Screen *screen;
    RenderView *view;
    int argc;
    char **argv;
};
extern EffectHost fxHost;

// The foreground effects, in fx_idx order.
void curl_setup(void);          void curl_render(uint32_t *pixels, float t);          // 0
void envtest_setup(void);       void envtest_render(uint32_t *pixels, float t);       // 1
void intro_setup(void);         void intro_render(uint32_t *pixels, float t);         // 2
void voxel_setup(void);         void voxel_render(uint32_t *pixels, float t);         // 3
void fishtest1_setup(void);     void fishtest1_render(uint32_t *pixels, float t);     // 4
void particles_setup(void);     void particles_render(uint32_t *pixels, float t);     // 5
void greets_setup(void);        void greets_render(uint32_t *pixels, float t);        // 6

// Backgrounds and layers.
void simpletunnel_setup(void);  void simpletunnel_render(uint32_t *pixels);           // into frame buffer 2
void backimage_load(void);      void backimage_draw(uint32_t *pixels, int front);      // the image layer
void engtest_setup(void);       void engtest_render(uint32_t *pixels, float t);       // the object layer

// From the intro's group on, the intro copies its time into intro_time.
void intro_enableTimeCopy(void);

extern const TrackedVars intro_tracked, fishtest_tracked, engtest_tracked, greets_tracked, curl_tracked,
    simpletunnel_tracked, voxel_tracked, particles_tracked;
