// The rasteriser: clips projected faces against the screen, splits them into
// triangles and fills those row by row (flat, Gouraud, textured, or by edge
// accumulation), and draws anti-aliased lines. All targets are 320 pixels wide.
#pragma once

#include <cstdint>

#include "render/object.h"

// Outcode bits of vertices and faces.
enum {
    CLIP_LEFT = 1,
    CLIP_RIGHT = 2,
    CLIP_BOTTOM = 4,
    CLIP_TOP = 8,
    CLIP_NEAR = 16,
};

// 256 / i and 65536 / i for i = 1..65535, built by the first rnd_SetTarget
// (the host calls it at start-up).
extern float *recip256;
extern float *recip65536;

// ---------------------------------------------------------------------------
// Target and clipping state (valid during one scene render)
// ---------------------------------------------------------------------------
void rnd_SetTarget(uint32_t *pixels);               // first visible row of a 320-wide frame; null draws nothing
// The view's clip lines, installed by every scene render and by rnd_CreateView:
// the clippers cut at them and lines keep inside x 0..318, y clipY0 + 1 ..
// clipY1 - 1. Clip lines past the target block (-33 and 271) are held there.
void rnd_SetClipLines(int32_t clipY0, int32_t clipY1);

// ---------------------------------------------------------------------------
// Faces
// ---------------------------------------------------------------------------
void rnd_DrawFace(Face *face); // fills an inside face, or clips and fans it
// The clipper and filler a fill mode uses (unknown modes: flat fill, full clipper).
void rnd_ModeSlots(int mode, ClipFillFn *clipFill, TriFillFn *triFill);

void clipPolyFull(Face *face);  // interpolates colour, u, v
void clipPolyDepth(Face *face); // interpolates cz
void clipPolyTex(Face *face);   // interpolates u, v

// Fillers: vertices sorted by sy. Unsorted ones, and triangles taller than the
// reciprocal tables reach (255 rows and a bit), draw nothing.
void tri_Flat(Vertex *top, Vertex *middle, Vertex *bottom, Material *material, uint32_t colour);
void tri_Gouraud(Vertex *top, Vertex *middle, Vertex *bottom, Material *material, uint32_t colour);
void tri_Textured(Vertex *top, Vertex *middle, Vertex *bottom, Material *material, uint32_t colour); // nothing without 256 x 256 texels
void tri_EdgeAccumulate(Vertex *top, Vertex *middle, Vertex *bottom, Material *material, uint32_t colour);

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------
// Endpoints in 24.8 units as floats; clipped to the inner screen rectangle.
void line_Draw2D(uint32_t *pixels, const float from[2], const float to[2], uint32_t colour);
// Endpoints 24.8; a line reaching past the frame's block (stride wide, rows
// -32..271) is clipped to it first.
void line_DrawAA(uint32_t *pixels, int stride, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
