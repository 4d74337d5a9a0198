// Anti-aliased lines: outcodes against the inner rectangle, clipping in
// floating point, and the two-pixel blend stepped along the major axis.
#include "render/raster.h"

#include "core/common.h"
#include "render/raster_local.h"

// ---------------------------------------------------------------------------
// Types and module state
// ---------------------------------------------------------------------------

// A rectangle in 24.8 units, bounds included.
struct LineRect {
    int32_t x0, y0, x1, y1;
};

// The inner rectangle lines are tested and clipped against. Every scene
// render installs x 0 to 318, y clipY0 + 1 to clipY1 - 1 (rnd_SetClipLines);
// these are the values before the first one.
static LineRect innerRect = {0, -1 * 256, (FRAME_WIDTH - 1) * 256, (FRAME_HEIGHT - 2) * 256};

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

// Line-test outcode of one endpoint (the CLIP_* bits).
static int lineOutcode(int32_t x, int32_t y, const LineRect &r)
{
    int code = 0;
    if (x < r.x0)
        code |= CLIP_LEFT;
    else if (x > r.x1)
        code |= CLIP_RIGHT;
    if (y > r.y1)
        code |= CLIP_BOTTOM;
    else if (y < r.y0)
        code |= CLIP_TOP;
    return code;
}

// Moves an endpoint (a, b) along the line to the other endpoint (c, d) until
// its a coordinate equals `bound`.
static void clipToBound(float &a, float &b, float c, float d, float bound)
{
    b += (d - b) * (bound - a) / (c - a);
    a = bound;
}

// Clips the segment in floating point, vertically first, then horizontally;
// 0 when it lies wholly outside. The endpoints come back truncated and, against
// float rounding, held inside the rectangle.
static int clipLine(int32_t p[4], const LineRect &r)
{
    float x0 = (float)p[0], y0 = (float)p[1], x1 = (float)p[2], y1 = (float)p[3];
    const float left = (float)r.x0, top = (float)r.y0, right = (float)r.x1, bottom = (float)r.y1;
    if ((y0 < top && y1 < top) || (y0 > bottom && y1 > bottom))
        return 0;
    if (y0 < top)
        clipToBound(y0, x0, y1, x1, top);
    else if (y0 > bottom)
        clipToBound(y0, x0, y1, x1, bottom);
    if (y1 < top)
        clipToBound(y1, x1, y0, x0, top);
    else if (y1 > bottom)
        clipToBound(y1, x1, y0, x0, bottom);
    if ((x0 < left && x1 < left) || (x0 > right && x1 > right))
        return 0;
    if (x0 < left)
        clipToBound(x0, y0, x1, y1, left);
    else if (x0 > right)
        clipToBound(x0, y0, x1, y1, right);
    if (x1 < left)
        clipToBound(x1, y1, x0, y0, left);
    else if (x1 > right)
        clipToBound(x1, y1, x0, y0, right);
    const float out[4] = {x0, y0, x1, y1};
    const int32_t lo[4] = {r.x0, r.y0, r.x0, r.y0};
    const int32_t hi[4] = {r.x1, r.y1, r.x1, r.y1};
    for (int i = 0; i < 4; i++) {
        int32_t v = truncInt(out[i]);
        p[i] = v < lo[i] ? lo[i] : v > hi[i] ? hi[i] : v;
    }
    return 1;
}

// 1 when the line steps along x (|dx| >= |dy|), 0 when along y.
static int lineXMajor(const int32_t p[4])
{
    const int64_t dx = (int64_t)p[2] - p[0], dy = (int64_t)p[3] - p[1];
    return (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
}

// Where the endpoints of a line stepping along x (or y) may lie so that the
// pixel pair at every step stays inside a frame of this stride: a pixel row or
// column of room on the minor axis's far side.
static LineRect safeRect(int xMajor, int stride)
{
    if (xMajor)
        return {0, BLOCK_FIRST_ROW * 256, (stride - 1) * 256 + 255, (BLOCK_LAST_ROW - 1) * 256 + 255};
    return {0, BLOCK_FIRST_ROW * 256, (stride - 2) * 256 + 255, BLOCK_LAST_ROW * 256 + 255};
}

// Blends colour into a pixel with a weight of 0..256 per channel; the fourth
// byte becomes 255.
static inline uint32_t blendPixel(uint32_t dst, uint32_t colour, int32_t weight)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t d = (int32_t)(dst >> shift & 255);
        int32_t c = (int32_t)(colour >> shift & 255);
        out |= (uint32_t)(d + (((c - d) * weight) >> 8)) << shift;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

void line_SetInnerRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    innerRect = {x0, y0, x1, y1};
}

void line_Draw2D(uint32_t *pixels, const float from[2], const float to[2], uint32_t colour)
{
    if (!pixels || !from || !to)
        return;
    int32_t p[4] = {truncInt(from[0]), truncInt(from[1]), truncInt(to[0]), truncInt(to[1])};
    int code0 = lineOutcode(p[0], p[1], innerRect);
    int code1 = lineOutcode(p[2], p[3], innerRect);
    if (code0 & code1)
        return;
    if ((code0 | code1) && !clipLine(p, innerRect))
        return;
    line_DrawAA(pixels, FRAME_WIDTH, p[0], p[1], p[2], p[3], colour);
}

void line_DrawAA(uint32_t *pixels, int stride, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour)
{
    // Frames are 320 wide; the cap keeps the 24.8 bounds below in range.
    if (!pixels || stride < 2 || stride > 4096)
        return;
    // Block guard: the pixels touched are the whole columns (x-major) or rows
    // (y-major) between the endpoints, each with the pixel below or to the
    // right of it. Endpoints inside safeRect keep every write on columns 0 to
    // stride - 1 and rows -32 to 271 (the frame's guard rows); a line reaching
    // further is clipped to it first. line_Draw2D never hands one over.
    int32_t p[4] = {x0, y0, x1, y1};
    int xMajor = lineXMajor(p);
    LineRect safe = safeRect(xMajor, stride);
    if (lineOutcode(p[0], p[1], safe) | lineOutcode(p[2], p[3], safe)) {
        if (!clipLine(p, safe))
            return;
        // Clipping may tip a near-diagonal line onto the other axis: then
        // hold it to the rectangle both axes allow.
        if (lineXMajor(p) != xMajor) {
            const LineRect both = {0, safe.y0, (stride - 2) * 256 + 255, (BLOCK_LAST_ROW - 1) * 256 + 255};
            if ((lineOutcode(p[0], p[1], both) | lineOutcode(p[2], p[3], both)) && !clipLine(p, both))
                return;
            xMajor = lineXMajor(p);
        }
    }

    // Major axis m, minor axis n, ordered so that m grows.
    int32_t m0 = xMajor ? p[0] : p[1], n0 = xMajor ? p[1] : p[0];
    int32_t m1 = xMajor ? p[2] : p[3], n1 = xMajor ? p[3] : p[2];
    if (m1 < m0) {
        int32_t t = m0; m0 = m1; m1 = t;
        t = n0; n0 = n1; n1 = t;
    }
    const int64_t dMajor = (int64_t)m1 - m0, dMinor = (int64_t)n1 - n0;
    if (dMajor == 0)
        return;
    // The whole pixels from the first at or after the start to the last at or
    // before the end.
    const int32_t first = (m0 + 255) >> 8, last = m1 >> 8; // 24.8 -> pixel
    if (first > last)
        return;
    const int32_t slope = (int32_t)((dMinor * 4096 / dMajor) * 16);      // ((dminor << 12) / dmajor) << 4: 16.16 per pixel
    const int32_t prestep = first * 256 - m0;                              // 0..255, 24.8
    int32_t minor = n0 * 256 + (int32_t)((int64_t)slope * prestep / 256); // 24.8 -> 16.16; toward zero, so it
                                                                           // never passes the far endpoint
    const int32_t majorStride = xMajor ? 1 : stride;
    const int32_t minorStride = xMajor ? stride : 1;
    for (int32_t i = first; i <= last; i++) {
        int32_t f = (minor >> 8) & 255;
        uint32_t *px = pixels + (int64_t)i * majorStride + (int64_t)(minor >> 16) * minorStride;
        px[0] = blendPixel(px[0], colour, 256 - f);
        px[minorStride] = blendPixel(px[minorStride], colour, f);
        minor += slope;
    }
}
