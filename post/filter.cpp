// Pixel filters: the drivers that clip the blits and walk the images row by
// row, calling the row kernels of filter_sse2.cpp (or filter_ref.cpp).
#include "post/filter.h"

#include "core/common.h"
#include "core/simd.h" // Required for: SSE2_OR_REF
#include "post/filter_local.h"
#include "render/bitmap.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

enum {
    BLUR_STRIPS = FRAME_WIDTH / FILTER_ACCUMULATORS, // 40 strips of 8 columns
    EDGE_RING_STRIDE = 336,                          // >= 1 + 320 + 1, kept a multiple of 16
    PICTURE_BLOCKS = FRAME_WIDTH * PICTURE_ROWS / 8, // 32-byte blocks of the picture
};

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

const FilterKernels *flt_Kernels = &SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef);

// The vertical blur's accumulators: allocated by its first call, kept for the run.
static int16_t *blurScratch;

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

static inline int32_t clampByte(int32_t v)
{
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// ---------------------------------------------------------------------------
// Blurs
// ---------------------------------------------------------------------------

void filterSetCoefficients(FilterParams *params, int32_t h, int32_t v)
{
    if (!params)
        return;
    params->coefH = clampByte(h);
    params->coefV = clampByte(v);
    params->mask = 0xFFFF;
}

FilterParams filterParamsFor(int32_t h, int32_t v)
{
    FilterParams params = {};
    params.width = FRAME_WIDTH;
    params.height = FRAME_HEIGHT;
    filterSetCoefficients(&params, h, v);
    return params;
}

// Cuts firstRow..lastRow to the frame's rows; false when nothing is left.
static bool blurRowRange(int32_t *firstRow, int32_t *lastRow)
{
    if (*firstRow < 0)
        *firstRow = 0;
    if (*lastRow > FRAME_HEIGHT - 1)
        *lastRow = FRAME_HEIGHT - 1;
    return *firstRow <= *lastRow;
}

void blurRowsH(const uint32_t *src, uint32_t *dst, int32_t firstRow, int32_t lastRow, const FilterParams *params)
{
    if (!params || !src || !dst || !blurRowRange(&firstRow, &lastRow))
        return;
    // Settings made by hand may hold anything: never let a coefficient past a byte.
    const int32_t coef = clampByte(params->coefH);
    const BlurPairHFn pair = flt_Kernels->blurPairH;
    // Rows blur independently of their partners, so whole groups of eight go
    // to the wider kernel and the rest to the pairs, with the same bits.
    int32_t r = firstRow;
    for (; r + 7 <= lastRow; r += 8)
        flt_Kernels->blurOctH(src + r * FRAME_WIDTH, dst + r * FRAME_WIDTH, FRAME_WIDTH, coef, params->threshold);
    for (; r <= lastRow; r += 2) {
        // An odd count blurs the row after lastRow too, unless that would
        // leave the frame; the last row then pairs with itself.
        int32_t r2 = r + 1 < FRAME_HEIGHT ? r + 1 : r;
        pair(src + r * FRAME_WIDTH, src + r2 * FRAME_WIDTH, dst + r * FRAME_WIDTH, dst + r2 * FRAME_WIDTH,
             FRAME_WIDTH, coef, params->threshold);
    }
}

void blurRowsV(const uint32_t *src, uint32_t *dst, int32_t firstRow, int32_t lastRow, const FilterParams *params)
{
    if (!params || !src || !dst || !blurRowRange(&firstRow, &lastRow))
        return;
    if (!blurScratch) {
        blurScratch = (int16_t *)allocAligned(FILTER_STRIP_LANES, sizeof(int16_t));
        if (!blurScratch) {
            LOG_TAGGED("no memory for the blur accumulators: vertical blur skipped");
            return;
        }
    }
    const int32_t coef = clampByte(params->coefV);
    const BlurStripVFn strip = flt_Kernels->blurStripV;
    const int rows = lastRow - firstRow + 1;
    for (int s = 0; s < BLUR_STRIPS; s++) {
        int offset = firstRow * FRAME_WIDTH + s * FILTER_ACCUMULATORS;
        strip(src + offset, dst + offset, rows, coef, params->threshold, blurScratch);
    }
}

// ---------------------------------------------------------------------------
// Luminance and edges
// ---------------------------------------------------------------------------

void lumaRow(const uint32_t *pixels, uint8_t *out)
{
    if (pixels && out)
        flt_Kernels->lumaRow(pixels, out, FRAME_WIDTH);
}

void edgeDetect(uint32_t *picture, int32_t shift, int32_t additive)
{
    if (!picture)
        return;
    if (shift < 0 || shift > 16)
        shift = 16; // any shift outside 0..15 leaves no magnitude
    additive = additive == 1;

    // Three luminance rows, each between two black bytes (0 and 321).
    alignas(16) uint8_t ring[3][EDGE_RING_STRIDE] = {};
    const LumaRowFn luma = flt_Kernels->lumaRow;
    const EdgeRowFn edges = flt_Kernels->edgeRow;
    luma(picture, ring[0] + 1, FRAME_WIDTH); // row 0 is its own upper neighbour
    luma(picture, ring[1] + 1, FRAME_WIDTH);
    for (int y = 0; y < PICTURE_ROWS; y++) {
        // The row below, taken before the next turn overwrites it; at y = 179
        // this is frame row 210, below the picture.
        uint8_t *down = ring[(y + 2) % 3];
        luma(picture + (y + 1) * FRAME_WIDTH, down + 1, FRAME_WIDTH);
        edges(ring[y % 3], ring[(y + 1) % 3], down, picture + y * FRAME_WIDTH, FRAME_WIDTH, shift, additive);
    }
}

// ---------------------------------------------------------------------------
// Blits
// ---------------------------------------------------------------------------

// The part of a bitmap that lands inside 320 x clipHeight.
struct BlitArea {
    uint32_t *dst;      // first destination pixel
    int64_t srcOffset;  // first source pixel, in pixels of the bitmap's format
    int32_t srcStride;  // the bitmap's width
    int32_t width, height;
};

static bool blitClip(uint32_t *dst, int32_t clipHeight, const Bitmap *bitmap, int32_t format, int32_t x,
                     int32_t y, BlitArea *area)
{
    if (!dst || !bitmap || !bitmap->pixels || bitmap->format != format)
        return false;
    const int64_t w = bitmap->width, h = bitmap->height;
    if (w <= 0 || h <= 0 || clipHeight <= 0)
        return false;
    if (x + w < 0 || y + h < 0 || x >= FRAME_WIDTH || y >= clipHeight)
        return false;
    const int64_t skipX = x < 0 ? -(int64_t)x : 0; // source columns and rows left of and above the clip
    const int64_t skipY = y < 0 ? -(int64_t)y : 0;
    const int64_t dx = x < 0 ? 0 : x, dy = y < 0 ? 0 : y;
    const int64_t width = w - skipX < FRAME_WIDTH - dx ? w - skipX : FRAME_WIDTH - dx;
    const int64_t height = h - skipY < clipHeight - dy ? h - skipY : clipHeight - dy;
    if (width < 1 || height < 1)
        return false;
    area->dst = dst + dy * FRAME_WIDTH + dx;
    area->srcOffset = skipY * w + skipX;
    area->srcStride = (int32_t)w;
    area->width = (int32_t)width;
    area->height = (int32_t)height;
    return true;
}

// Runs one row kernel over the clipped area of a 32-bit bitmap.
static void blitRows(uint32_t *dst, int32_t clipHeight, const Bitmap *bitmap, int32_t x, int32_t y,
                     BlitRowFn row, uint32_t k4)
{
    BlitArea area;
    if (!blitClip(dst, clipHeight, bitmap, BITMAP_RGB32, x, y, &area))
        return;
    const uint32_t *src = (const uint32_t *)bitmap->pixels + area.srcOffset;
    for (int32_t r = 0; r < area.height; r++)
        row(area.dst + (int64_t)r * FRAME_WIDTH, src + (int64_t)r * area.srcStride, area.width, k4);
}

static inline uint32_t levelBytes(int32_t k)
{
    return (uint32_t)(k & 0xFF) * 0x01010101u; // only the low byte counts, in all four bytes
}

void blitCopy(uint32_t *dst, int32_t dstHeight, const Bitmap *bitmap, int32_t x, int32_t y)
{
    // A pitch-320 destination is at most one frame tall.
    int32_t clipHeight = dstHeight > FRAME_HEIGHT ? FRAME_HEIGHT : dstHeight;
    blitRows(dst, clipHeight, bitmap, x, y, flt_Kernels->copyRow, 0);
}

void blitAddMinus(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t k)
{
    blitRows(dst, PICTURE_ROWS, bitmap, x, y, flt_Kernels->addMinusRow, levelBytes(k));
}

void blitSubPlus(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t k)
{
    blitRows(dst, PICTURE_ROWS, bitmap, x, y, flt_Kernels->subPlusRow, levelBytes(k));
}

void blitMinus(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t k)
{
    blitRows(dst, PICTURE_ROWS, bitmap, x, y, flt_Kernels->minusRow, levelBytes(k));
}

void blitAlpha(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t alpha)
{
    BlitArea area;
    if (!blitClip(dst, PICTURE_ROWS, bitmap, BITMAP_RGB32, x, y, &area))
        return;
    // Past 255 the weight (sa * alpha) >> 1 would no longer fit a signed lane.
    alpha = clampByte(alpha);
    const AlphaRowFn row = flt_Kernels->alphaRow;
    const uint32_t *src = (const uint32_t *)bitmap->pixels + area.srcOffset;
    for (int32_t r = 0; r < area.height; r++)
        row(area.dst + (int64_t)r * FRAME_WIDTH, src + (int64_t)r * area.srcStride, area.width, alpha);
}

void blitGray(uint32_t *dst, const Bitmap *bitmap)
{
    BlitArea area;
    if (!blitClip(dst, FRAME_HEIGHT, bitmap, BITMAP_GRAY8, 0, 0, &area))
        return;
    const GrayRowFn row = flt_Kernels->grayRow;
    const uint8_t *src = (const uint8_t *)bitmap->pixels;
    for (int32_t r = 0; r < area.height; r++)
        row(area.dst + (int64_t)r * FRAME_WIDTH, src + (int64_t)r * area.srcStride, area.width);
}

void pictureCopy(uint32_t *dst, const uint32_t *src)
{
    if (dst && src)
        flt_Kernels->copyBlocks(dst, src, PICTURE_BLOCKS);
}
