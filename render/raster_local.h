// The rasteriser's own header: edge steppers, the span kernels and the line
// rectangle, shared by raster.cpp, span.cpp and line.cpp (and the tests, which
// compare the packed Gouraud kernel with its scalar reference). Callers outside
// the rasteriser use render/raster.h.
#pragma once

#include <cstdint>

#include "render/bitmap.h"

// ---------------------------------------------------------------------------
// Fixed-point formats
// ---------------------------------------------------------------------------
// 24.8  screen positions sx, sy (pixel * 256) and camera depth cz
// 16.16 edge x while stepping rows (pixel * 65536); column = x >> 16
// 8.8   colour channels and texture coordinates while interpolating
// 9.7   packed Gouraud lanes: the 8.8 values halved (LANE_FRAC, render/bitmap.h)
// 17.15 edge positions of the edge-accumulation fill (pixel * 32768)
enum {
    SCREEN_FRAC = 8,   // 24.8
    EDGE_FRAC = 16,    // 16.16
    ATTR_FRAC = 8,     // 8.8
    ACCUM_FRAC = 15,   // 17.15
};

// The reciprocal tables hold 65,536 entries, indexed by a 24.8 height: no
// triangle taller than RECIP_MAX / 256 rows can be set up.
enum { RECIP_ENTRIES = 65536, RECIP_MAX = RECIP_ENTRIES - 1 };

// Rows of the target block that drawing may touch: the 240 frame rows plus
// the 32 guard rows above and below (render/bitmap.h).
enum {
    BLOCK_FIRST_ROW = -FRAME_GUARD_ROWS,                  // -32
    BLOCK_LAST_ROW = FRAME_HEIGHT + FRAME_GUARD_ROWS - 1, // 271
};

// Wrapping 32-bit arithmetic. In-range geometry never wraps; hostile input
// (huge or INT32_MIN-derived coordinates) may, and must do so without
// undefined behaviour.
static inline int32_t wrapAdd(int32_t a, int32_t b)
{
    return (int32_t)((uint32_t)a + (uint32_t)b);
}
static inline int32_t wrapMul(int32_t a, int32_t b)
{
    return (int32_t)((uint32_t)a * (uint32_t)b);
}

// Float to int32 truncating toward zero, INT32_MIN when the value does not fit
// (the x86 conversion's answer): truncInt for the per-triangle set-up, inline.
static inline int32_t truncF(float v)
{
    if (v > -2147483904.0f && v < 2147483648.0f) // the float neighbours of the int32 range
        return (int32_t)v;
    return INT32_MIN;
}

// ---------------------------------------------------------------------------
// Edge steppers
// ---------------------------------------------------------------------------
// One edge of the triangle being filled. The span fillers read the left
// edge's attributes and both x values, and write back what they reached, so
// that the long edge carries on into the lower half.
struct EdgeStep {
    int32_t x, dx;         // 16.16, per row
    int32_t u, du, v, dv;  // 8.8, per row
    int32_t r, g, b, a;    // 8.8
    int32_t dr, dg, db, da;// 8.8, per row
};

// Per-pixel steps of the attributes, constant over one triangle (8.8).
struct SpanGradients {
    int32_t du, dv;
    int32_t colour[4];     // r, g, b, a, in the order of EdgeStep
};

// One half of a triangle: `rows` rows starting at frame row `firstRow`.
struct SpanHalf {
    uint32_t *target;      // first visible row of the 320-wide frame
    int32_t firstRow;
    int32_t rows;
    EdgeStep *left;
    EdgeStep *right;
};

// ---------------------------------------------------------------------------
// Half fillers (span.cpp): step both edges row by row and fill each row from
// column left.x >> 16 up to, not including, right.x >> 16. Rows outside the
// target block and columns outside 0..319 are never written.
// ---------------------------------------------------------------------------
void span_Flat(const SpanHalf &half, uint32_t colour);
void span_Textured(const SpanHalf &half, const SpanGradients &grad, const uint32_t *texels);
// Fewer than 4 rows: the 8.8 scalar row; 4 or more: the packed row kernel.
void span_Gouraud(const SpanHalf &half, const SpanGradients &grad);

// ---------------------------------------------------------------------------
// Row kernels: n pixels at dst
// ---------------------------------------------------------------------------
// Texel ((u >> 8) & 255) + (v & 0xFF00) of a 256 x 256 texture, u and v 8.8.
void span_TexturedRow(uint32_t *dst, int n, uint32_t u, uint32_t v, uint32_t du, uint32_t dv,
                      const uint32_t *texels);
// Gouraud rows. `start` and `step` are r, g, b, a in 8.8 (EdgeStep order).
// Scalar path: integer parts of the 8.8 channels, each kept to its own byte.
void span_GouraudRow(uint32_t *dst, int n, const int32_t start[4], const int32_t step[4]);
// Packed path: four signed 16-bit 9.7 lanes per pixel, two pixels per step,
// saturating adds, clamped to 0..255 when packing. Both variants give the same
// bits for every input.
void span_GouraudRowPackedSSE2(uint32_t *dst, int n, const int32_t start[4], const int32_t step[4]);
void span_GouraudRowPackedRef(uint32_t *dst, int n, const int32_t start[4], const int32_t step[4]);

typedef void (*GouraudRowFn)(uint32_t *dst, int n, const int32_t start[4], const int32_t step[4]);
// The packed kernel span_Gouraud uses: the SSE2 one where the build has it
// (core/simd.h) unless a test or a benchmark installs the reference.
extern GouraudRowFn span_GouraudRowPacked;

// ---------------------------------------------------------------------------
// Lines (line.cpp)
// ---------------------------------------------------------------------------
// Installs the inner rectangle (24.8) that line_Draw2D tests and clips against.
void line_SetInnerRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
