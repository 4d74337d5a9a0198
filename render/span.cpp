// Span filling: walks the rows of one triangle half along its two edge
// steppers and fills each row flat, textured or Gouraud-shaded.
#include "render/raster_local.h"

#include "core/simd.h" // Required for: SSE2_OR_REF and the SSE2 packed Gouraud row

// ---------------------------------------------------------------------------
// Row walking
// ---------------------------------------------------------------------------

// Calls drawRow(dst, n, skipped) for every row of the half that lies inside
// the target block and has pixels, then steps both edges' x and the left edge's
// attributes (stepLeft). `skipped` is the number of pixels the row lost on the
// left to the clamp at column 0, so that attributes can catch up.
// Clipped faces never meet the clamps; they keep faces whose vertices lie off
// the screen (unclipped or hostile input) inside the 320 x 304 block.
template <typename DrawRow, typename StepLeft>
static void walkRows(const SpanHalf &half, DrawRow drawRow, StepLeft stepLeft)
{
    EdgeStep *left = half.left;
    EdgeStep *right = half.right;
    int32_t row = half.firstRow;
    for (int32_t i = 0; i < half.rows; i++, row++) {
        if (row >= BLOCK_FIRST_ROW && row <= BLOCK_LAST_ROW) {
            int32_t xl = left->x >> EDGE_FRAC;  // 16.16 -> column
            int32_t xr = right->x >> EDGE_FRAC;
            int32_t skipped = 0;
            if (xl < 0) {
                skipped = -xl;
                xl = 0;
            }
            if (xr > FRAME_WIDTH)
                xr = FRAME_WIDTH;
            if (xl < xr)
                drawRow(half.target + row * FRAME_WIDTH + xl, xr - xl, skipped);
        }
        left->x = wrapAdd(left->x, left->dx);
        right->x = wrapAdd(right->x, right->dx);
        stepLeft(*left);
    }
}

// ---------------------------------------------------------------------------
// Row kernels
// ---------------------------------------------------------------------------

void span_TexturedRow(uint32_t *dst, int n, uint32_t u, uint32_t v, uint32_t du, uint32_t dv,
                      const uint32_t *texels)
{
    // Unsigned stepping wraps like the 32-bit registers it stands for; bits 8-15
    // are the same whichever way the value is shifted.
    for (int i = 0; i < n; i++) {
        dst[i] = texels[((u >> 8) & 255) + (v & 0xFF00)];
        u += du;
        v += dv;
    }
}

void span_GouraudRow(uint32_t *dst, int n, const int32_t start[4], const int32_t step[4])
{
    uint32_t r = (uint32_t)start[0], g = (uint32_t)start[1], b = (uint32_t)start[2], a = (uint32_t)start[3];
    const uint32_t dr = (uint32_t)step[0], dg = (uint32_t)step[1], db = (uint32_t)step[2], da = (uint32_t)step[3];
    for (int i = 0; i < n; i++) {
        // Integer part of each 8.8 channel, masked so that a channel rounded
        // past 255 or below 0 cannot carry into its neighbour.
        dst[i] = (a >> 8 & 255) << 24 | (r >> 8 & 255) << 16 | (g >> 8 & 255) << 8 | (b >> 8 & 255);
        r += dr;
        g += dg;
        b += db;
        a += da;
    }
}

// The packed lane arithmetic, shared by both variants:
//   lane  = sat16(value8.8 >> 1)           start and step halved to 9.7
//   pair  = [lane | adds(lane, step)]      pixels k and k + 1 side by side
//   step2 = adds(step, step)               two pixels per step
//   pixel = clamp(lane >> 7, 0, 255)       per channel, bytes b, g, r, a
//   pair  = adds(pair, step2)
// adds is a signed 16-bit add saturating at -32768 and 32767: a channel
// rounded past either end sticks there (and packs to 0 or 255) instead of
// wrapping round to the other end.

static inline int32_t sat16(int32_t v)
{
    return v < -32768 ? -32768 : v > 32767 ? 32767 : v;
}

static inline uint32_t packLane(int32_t lane)
{
    int32_t c = lane >> LANE_FRAC; // 9.7 -> integer channel
    return (uint32_t)(c < 0 ? 0 : c > 255 ? 255 : c);
}

void span_GouraudRowPackedRef(uint32_t *dst, int n, const int32_t start[4], const int32_t step[4])
{
    // Lanes in pixel byte order: blue, green, red, fourth byte.
    static const int order[4] = {2, 1, 0, 3};
    int32_t even[4], odd[4], step2[4];
    for (int c = 0; c < 4; c++) {
        int32_t lane = sat16(start[order[c]] >> 1); // 8.8 -> 9.7
        int32_t d = sat16(step[order[c]] >> 1);     // 8.8 -> 9.7
        even[c] = lane;
        odd[c] = sat16(lane + d);
        step2[c] = sat16(d + d);
    }
    for (int i = 0; i < n; i += 2) {
        dst[i] = packLane(even[0]) | packLane(even[1]) << 8 | packLane(even[2]) << 16 | packLane(even[3]) << 24;
        if (i + 1 < n)
            dst[i + 1] = packLane(odd[0]) | packLane(odd[1]) << 8 | packLane(odd[2]) << 16 | packLane(odd[3]) << 24;
        for (int c = 0; c < 4; c++) {
            even[c] = sat16(even[c] + step2[c]);
            odd[c] = sat16(odd[c] + step2[c]);
        }
    }
}

#ifdef VANTOREL_SSE2
void span_GouraudRowPackedSSE2(uint32_t *dst, int n, const int32_t start[4], const int32_t step[4])
{
    // r, g, b, a -> b, g, r, a: the pixel's byte order.
    __m128i s32 = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)start), _MM_SHUFFLE(3, 0, 1, 2));
    __m128i d32 = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i *)step), _MM_SHUFFLE(3, 0, 1, 2));
    s32 = _mm_srai_epi32(s32, 1); // 8.8 -> 9.7
    d32 = _mm_srai_epi32(d32, 1);
    __m128i s16 = _mm_packs_epi32(s32, s32); // saturated to 16 bits, once per pixel of the pair
    __m128i d16 = _mm_packs_epi32(d32, d32);
    __m128i pair = _mm_adds_epi16(s16, _mm_unpacklo_epi64(_mm_setzero_si128(), d16)); // [k | k + 1]
    __m128i step2 = _mm_adds_epi16(d16, d16);
    for (; n >= 2; n -= 2, dst += 2) {
        __m128i px = _mm_packus_epi16(_mm_srai_epi16(pair, LANE_FRAC), _mm_setzero_si128());
        _mm_storel_epi64((__m128i *)dst, px);
        pair = _mm_adds_epi16(pair, step2);
    }
    if (n)
        *dst = (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(_mm_srai_epi16(pair, LANE_FRAC), _mm_setzero_si128()));
}

#endif

GouraudRowFn span_GouraudRowPacked = SSE2_OR_REF(span_GouraudRowPackedSSE2, span_GouraudRowPackedRef);

// ---------------------------------------------------------------------------
// Half fillers
// ---------------------------------------------------------------------------

void span_Flat(const SpanHalf &half, uint32_t colour)
{
    walkRows(
        half,
        [colour](uint32_t *dst, int32_t n, int32_t) {
            for (int32_t i = 0; i < n; i++)
                dst[i] = colour;
        },
        [](EdgeStep &) {});
}

void span_Textured(const SpanHalf &half, const SpanGradients &grad, const uint32_t *texels)
{
    const int32_t du = grad.du, dv = grad.dv;
    walkRows(
        half,
        [&half, du, dv, texels](uint32_t *dst, int32_t n, int32_t skipped) {
            int32_t u = wrapAdd(half.left->u, wrapMul(du, skipped));
            int32_t v = wrapAdd(half.left->v, wrapMul(dv, skipped));
            span_TexturedRow(dst, n, (uint32_t)u, (uint32_t)v, (uint32_t)du, (uint32_t)dv, texels);
        },
        [](EdgeStep &e) {
            e.u = wrapAdd(e.u, e.du);
            e.v = wrapAdd(e.v, e.dv);
        });
}

void span_Gouraud(const SpanHalf &half, const SpanGradients &grad)
{
    // The scalar 8.8 row for short halves, the packed row for 4 rows and more:
    // the two may differ by one step in a channel.
    GouraudRowFn rowFn = half.rows < 4 ? span_GouraudRow : span_GouraudRowPacked;
    walkRows(
        half,
        [&half, &grad, rowFn](uint32_t *dst, int32_t n, int32_t skipped) {
            const EdgeStep *l = half.left;
            int32_t start[4] = {l->r, l->g, l->b, l->a};
            if (skipped)
                for (int c = 0; c < 4; c++)
                    start[c] = wrapAdd(start[c], wrapMul(grad.colour[c], skipped));
            rowFn(dst, n, start, grad.colour);
        },
        [](EdgeStep &e) {
            e.r = wrapAdd(e.r, e.dr);
            e.g = wrapAdd(e.g, e.dg);
            e.b = wrapAdd(e.b, e.db);
            e.a = wrapAdd(e.a, e.da);
        });
}
