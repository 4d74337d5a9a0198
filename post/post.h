// The post chain: passes over the picture after the effects have drawn it.
#pragma once

#include <cstdint>

#include "cvar/cvar.h"
#include "post/filter.h"

struct Bitmap;
struct Texture;

enum { ABERRATION_MASK_ROWS = 240, ABERRATION_MASK_PAIRS = 160 };

// One weight per pair of frame pixels: 0 at the centre, growing with the cube
// of the distance, 255 from 160 pixels out.
extern uint8_t aberrationMask[ABERRATION_MASK_ROWS][ABERRATION_MASK_PAIRS];

// Glitch displacement pictures: one pixel per 2 x 2 block of the picture, read
// with this row stride whatever the bitmap's own width.
enum { GLITCH_MAP_WIDTH = 160, GLITCH_MAP_HEIGHT = 90 };

void aberrationMaskBuild(void); // needs sqrt_table

// ---------------------------------------------------------------------------
// Variables (registered by the host, in its third group; tracks drive most)
// ---------------------------------------------------------------------------
extern Cvar post_brightnedd, post_edgedetect, post_edgedetect_factor, post_edgedetect_additive, post_aberration,
    post_aberration_offset, post_aberration_blur, post_glow, post_glow_blur_h, post_glow_blur_v, post_glow_lens,
    post_glow_strength, post_glow_color, post_glow_threshold, post_glitch_index, post_glitch_brightness,
    post_glitch_xstrength, post_glitch_ystrength, post_blur_h, post_blur_v;

// ---------------------------------------------------------------------------
// Settings of the passes, taken from the variables once per frame
// ---------------------------------------------------------------------------
struct AberrationSettings {
    int32_t shift;     // d: green comes from d rows down and 2d columns right, blue from twice that
    int32_t blurred;   // the shifted colours come from a blurred copy of the picture
    FilterParams blur; // that copy's coefficients
};
struct GlowSettings {
    FilterParams blur;   // coefficients, and the threshold the horizontal blur takes off
    int32_t blurV;       // the vertical blur runs
    int16_t colour8[4];  // 13.3 colour terms by byte: blue, green, red, fourth
};

// From post_aberration_offset and post_aberration_blur: d = offset / 100,
// held to -14..2320 (the shifts whose reads stay inside the frame; 0..10 for
// the offset's own range).
AberrationSettings postAberrationSettings(void);
// From post_glow_threshold, post_glow_color, post_glow_strength and the two
// glow blurs. Threshold components are held to 0..1 and colour terms (colour *
// 255 * strength) to -4096..4095, so that neither spills out of its byte or lane.
GlowSettings postGlowSettings(void);

// ---------------------------------------------------------------------------
// Passes. frame and scratch point at frame row 0 of frame buffers 0 and 1,
// each inside its block with 32 guard rows above and below (the glitch reads
// two guard rows of scratch); the picture is frame rows 30..209.
// ---------------------------------------------------------------------------
// Chromatic aberration: red stays, green comes from d rows down and 2d
// columns right, blue from 2d rows and 4d columns, weighted by aberrationMask.
// Blurred settings take the shifted colours from a blurred copy in scratch,
// the others from the picture itself.
void postAberration(uint32_t *frame, uint32_t *scratch, const AberrationSettings *settings);
// Glow: what lies above the threshold, blurred into scratch, tinted by the
// colour terms and added; then the same image turned by 180 degrees is added
// once more (the lens term, always on).
void postGlow(uint32_t *frame, uint32_t *scratch, const GlowSettings *settings);
// Glitch: copies the picture into scratch, then moves each 2 x 2 block by the
// displacement picture's red (columns, xs) and green (rows, ys): red by the full
// amount, green and blue by 220/256 of it; the fourth byte becomes 0. Without
// a usable displacement picture (none, not 32-bit, or smaller than 160 x 90)
// only the copy is made. Strengths act as if computed without overflow.
void postGlitch(uint32_t *frame, uint32_t *scratch, int32_t xs, int32_t ys, const Texture *displacement);

// Scales every byte of the picture (320 x 180, all four bytes) by level / 256
// below 255, or adds level & 255 with saturation above it; 255 changes nothing.
void postBrightness(uint32_t *picture, int32_t level);

// ---------------------------------------------------------------------------
// The chain
// ---------------------------------------------------------------------------
// Where the image layer is drawn over the picture.
enum {
    POST_LAYER_NONE = 0,
    POST_LAYER_BEFORE = 1, // before the chain (foreground_mode 3)
    POST_LAYER_AFTER = 2,  // after the glitch and the logo, before the brightness (foreground_mode 4)
};

// Everything one turn of the chain does, fixed before it runs.
struct PostPlan {
    FilterParams blur;          // the picture's blur coefficients, each held to 0..255
    int32_t runBlurH;           // the variables' float values decide, not the held ones
    int32_t runBlurV;
    int32_t runEdges;
    int32_t edgeShift;
    int32_t edgeAdditive;
    int32_t runAberration;
    AberrationSettings aberration;
    int32_t runGlow;
    GlowSettings glow;
    int32_t runGlitch;
    int32_t glitchX;
    int32_t glitchY;
    const Texture *displacement; // the glitch picture, or none, when pickDisplacement is not set
    // Chooses the glitch picture when the glitch pass runs, from the clock as
    // it reads then (the picture follows the clock through the passes before it).
    const Texture *(*pickDisplacement)(double demoSeconds);
    double demoSeconds;          // handed to pickDisplacement: a fixed time, or < 0 for the demo clock
    const Bitmap *logo;          // blended over the picture when logoAlpha > 0
    int32_t logoAlpha;
    int32_t runBrightness;
    int32_t brightnessLevel;     // 255 leaves the picture unchanged
    int32_t layerAt;             // POST_LAYER_*
    void (*drawLayer)(uint32_t *frame, int front); // the image layer, drawn with front flag 2
};

// The passes and their settings from the post_ variables as they stand; the
// host adds the glitch picture, the logo and the image layer.
void postPlanFromVariables(PostPlan *plan);
// Every pass of the chain on, the glitch included: what the bench times as the
// chain's worst case. Aberration and glow keep the variables' settings.
void postPlanEveryPass(PostPlan *plan);
// Whether the passes read their scratch frame a row past the picture band,
// where none of them writes: what lies there is older than this frame.
int postAberrationReadsPastBand(const AberrationSettings *settings);
int postPlanReadsPastBand(const PostPlan *plan);
// Runs the plan on the picture of frame, scratch as the passes' scratch frame;
// the letterbox bars (rows 0..29 and 210..239) are cleared last.
void postRunChain(uint32_t *frame, uint32_t *scratch, const PostPlan *plan);
// Sets the letterbox bars of a frame to 0.
void postClearLetterbox(uint32_t *frame);
