// The post chain: passes over the picture after the effects have drawn it.
#pragma once

#include <cstdint>

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
// The frames the passes work on
// ---------------------------------------------------------------------------
// buffer0 holds the picture (frame rows 30..209), buffer1 is the passes'
// scratch frame. Both point at frame row 0 of a frame-buffer block with its
// 32 guard rows above and below (the glitch reads two guard rows of buffer1).
// The host sets them once, right after creating the screen; until then the
// three passes below do nothing.
void postSetFrames(uint32_t *buffer0, uint32_t *buffer1);

// ---------------------------------------------------------------------------
// Passes (each reads its own variables; blurs need filterParams, filter.h)
// ---------------------------------------------------------------------------
// Chromatic aberration: red stays, green comes from d rows down and 2d
// columns right, blue from 2d rows and 4d columns, weighted by aberrationMask;
// d = offset / 100, held to -14..2320 (the shifts whose reads stay inside the
// frame; 0..10 for the offset's own range). With post_aberration_blur set the
// shifted colours come from a blurred copy in buffer1, otherwise from the
// picture itself.
void postAberration(void);
// Glow: what lies above post_glow_threshold, blurred into buffer1, tinted by
// post_glow_color * post_glow_strength and added; then the same image turned
// by 180 degrees is added once more (the lens term, always on). Threshold
// components are held to 0..1 and colour terms (colour * 255 * strength) to
// -4096..4095, so that neither spills out of its byte or lane.
void postGlow(void);
// Glitch: copies the picture into buffer1, then moves each 2 x 2 block by the
// displacement picture's red (columns, xs) and green (rows, ys): red by the full
// amount, green and blue by 220/256 of it; the fourth byte becomes 0. Without
// a usable displacement picture (none, not 32-bit, or smaller than 160 x 90)
// only the copy is made. Strengths act as if computed without overflow.
void postGlitch(int32_t xs, int32_t ys, const Texture *displacement);

// Scales every byte of the picture (320 x 180, all four bytes) by level / 256
// below 255, or adds level & 255 with saturation above it; 255 changes nothing.
void postBrightness(uint32_t *picture, int32_t level);
