// Pixel filters for 320-pixel-wide images: recursive blurs, edges and blits.
#pragma once

#include <cstdint>

struct Bitmap;

// The settings of one blur, handed to it by whoever blurs: the post chain,
// each pass that blurs for itself, the voxel landscape.
struct FilterParams {
    int32_t width;            // row stride of the blurred images, in pixels
    int32_t height;
    int32_t coefH;            // horizontal blur coefficient 0..255
    int32_t coefV;            // vertical blur coefficient 0..255
    uint32_t threshold;       // 0xAARRGGBB subtracted from each source pixel as a blur reads it
    int32_t thresholdChanged; // 1 when threshold is not the plain blur's 0; nothing reads it
    int32_t mask;             // 0xFFFF whenever coefficients are set; nothing reads it
};

// Blit modes, the numbers by which the image layer and the greets pick a blit.
enum {
    BLIT_COPY = 0,
    BLIT_ADD_MINUS = 1,
    BLIT_SUB_PLUS = 2,
    BLIT_ALPHA = 3,
    BLIT_MINUS = 4,
};

// ---------------------------------------------------------------------------
// Recursive blur (images of 320 x 240, pitch 320; src and dst may be the same)
// ---------------------------------------------------------------------------
void filterSetCoefficients(FilterParams *params, int32_t h, int32_t v); // each clamped to 0..255; mask = 0xFFFF
// A plain blur of 320 x 240 frames (threshold 0) with the coefficients h and
// v, each clamped to 0..255 as filterSetCoefficients does.
FilterParams filterParamsFor(int32_t h, int32_t v);
// Rows firstRow..lastRow, two at a time; an odd count also blurs lastRow + 1
// when that row is still inside the 240-row frame. Rows outside 0..239 are
// never touched. Coefficient coefH (held to a byte), threshold subtracted as
// src is read. Null settings blur nothing.
void blurRowsH(const uint32_t *src, uint32_t *dst, int32_t firstRow, int32_t lastRow, const FilterParams *params);
// The same rows along the columns, in 40 strips of 8 columns; coefficient coefV.
// Its accumulators live in a 64-byte block allocated by the first call; should
// that fail, the call says so and leaves dst as it was.
void blurRowsV(const uint32_t *src, uint32_t *dst, int32_t firstRow, int32_t lastRow, const FilterParams *params);

// ---------------------------------------------------------------------------
// Luminance and edges
// ---------------------------------------------------------------------------
void lumaRow(const uint32_t *pixels, uint8_t *out); // 320 pixels -> (b + 2g + r) >> 2
// Sobel edges in place on the 320 x 180 picture (frame row 30 on); also reads
// the row below it (frame row 210). The magnitude >> shift (0 for a shift
// outside 0..15), clamped to 255, is added to all four bytes with saturation
// when additive is 1, and otherwise replaces the pixel as grey.
void edgeDetect(uint32_t *picture, int32_t shift, int32_t additive);

// ---------------------------------------------------------------------------
// Blits: dst has pitch 320; (x, y) is where the bitmap's top-left pixel lands.
// Every blit clips against 320 columns and its clip height (dstHeight, at
// most 240, for blitCopy; the 180 picture rows for the others) and against the
// bitmap itself; a null or empty bitmap or one of the wrong format draws nothing.
// k: only its low byte counts. alpha: clamped to 0..255.
// ---------------------------------------------------------------------------
// Per byte, all saturating at 0 and 255:
void blitCopy(uint32_t *dst, int32_t dstHeight, const Bitmap *bitmap, int32_t x, int32_t y); // s
void blitAddMinus(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t k);    // d + (s - k)
void blitSubPlus(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t k);     // d - (s + k)
// About d + (s - d) * ((sa * alpha) >> 1) / 32768, in 9.7 lanes; a source
// pixel whose fourth byte sa is 0 leaves d as it is.
void blitAlpha(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t alpha);
void blitMinus(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y, int32_t k);       // s - k
// A BITMAP_GRAY8 bitmap at (0, 0), clipped to 320 x 240: v -> 0xFF000000 | v * 0x010101.
void blitGray(uint32_t *dst, const Bitmap *bitmap);

// Copies the 320 x 180 picture (57,600 pixels) from src to dst.
void pictureCopy(uint32_t *dst, const uint32_t *src);
