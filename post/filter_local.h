// The filters' own header: the row kernels and the scalar lane operations their
// references build on, shared by filter.cpp (the drivers), filter_sse2.cpp (the SSE2
// kernels), filter_ref.cpp (the references), the tests and the benchmarks. Callers
// outside the filters use post/filter.h.
#pragma once

#include <cstdint>

#include "render/bitmap.h" // Required for: LANE_FRAC, the 9.7 lanes every kernel here works in

enum {
    FILTER_ACCUMULATORS = 8,          // pixels of one vertical strip
    FILTER_STRIP_LANES = FILTER_ACCUMULATORS * 4,
};

// ---------------------------------------------------------------------------
// Scalar lane operations, one per SSE2 instruction
// ---------------------------------------------------------------------------
// What the scalar references of the filters and of the post passes build on,
// so that each reference step is the packed kernel's step on one lane.

static inline int16_t laneSat(int32_t v)
{
    return (int16_t)(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}
static inline int16_t laneAdds(int16_t a, int16_t b) // paddsw
{
    return laneSat((int32_t)a + b);
}
static inline int16_t laneSubs(int16_t a, int16_t b) // psubsw
{
    return laneSat((int32_t)a - b);
}
static inline int16_t laneMulHi(int16_t a, int16_t b) // pmulhw: floor(a * b / 65536)
{
    return (int16_t)(((int32_t)a * b) >> 16);
}
static inline uint8_t laneToByte(int16_t v, int shift = LANE_FRAC) // psraw shift, packuswb
{
    int32_t b = v >> shift;
    return (uint8_t)(b < 0 ? 0 : b > 255 ? 255 : b);
}
static inline uint8_t byteSubs(uint8_t a, uint8_t b) // psubusb
{
    return (uint8_t)(a > b ? a - b : 0);
}
static inline uint8_t byteAdds(uint8_t a, uint8_t b) // paddusb
{
    int32_t v = a + b;
    return (uint8_t)(v > 255 ? 255 : v);
}
static inline uint8_t byteOf(uint32_t pixel, int i)
{
    return (uint8_t)(pixel >> (8 * i));
}

// ---------------------------------------------------------------------------
// Row kernels
// ---------------------------------------------------------------------------
// Each has an SSE2 variant and a plain scalar reference beside it; the two
// give the same bits for every input. k4 below is a byte replicated to the
// four bytes of a pixel.

// Horizontal blur of one pair of rows of n >= 1 pixels: forward from pixel 0
// (reading src with threshold subtracted), then backward from pixel n - 1
// (reading dst). rowA and rowB may be the same row; src may equal dst.
// coef is 0..255.
typedef void (*BlurPairHFn)(const uint32_t *srcA, const uint32_t *srcB, uint32_t *dstA, uint32_t *dstB,
                            int n, int32_t coef, uint32_t threshold);
// The same blur on eight consecutive rows (pitch 320), each row coming out as
// blurPairH gives it: a row's lanes never meet another row's. Eight rows are
// four independent accumulator chains, which keeps the multiplier busy where
// one pair waits on its own latency. src may equal dst.
typedef void (*BlurOctHFn)(const uint32_t *src, uint32_t *dst, int n, int32_t coef, uint32_t threshold);
// Vertical blur of one strip of 8 columns over rows >= 1 rows (pitch 320),
// src and dst pointing at the strip's first row. The accumulators live in
// acc (8 pixels x 4 lanes, 16-byte aligned): set from the first row, carried
// from the forward pass into the backward pass, left there at the end.
typedef void (*BlurStripVFn)(const uint32_t *src, uint32_t *dst, int rows, int32_t coef, uint32_t threshold,
                             int16_t *acc);
typedef void (*LumaRowFn)(const uint32_t *pixels, uint8_t *out, int n);
// One output row of the edge detector. up, mid and down hold n + 2 luminance
// bytes: the row's n values at 1..n between two black neighbours. shift is
// 0..16 (16 gives 0).
typedef void (*EdgeRowFn)(const uint8_t *up, const uint8_t *mid, const uint8_t *down, uint32_t *row, int n,
                          int shift, int additive);
typedef void (*BlitRowFn)(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
// alpha 0..255.
typedef void (*AlphaRowFn)(uint32_t *dst, const uint32_t *src, int n, int32_t alpha);
typedef void (*GrayRowFn)(uint32_t *dst, const uint8_t *src, int n);
// blocks of 32 bytes (8 pixels).
typedef void (*CopyBlocksFn)(uint32_t *dst, const uint32_t *src, int blocks);

// One kernel per job; the drivers call them through the set in use.
struct FilterKernels {
    BlurPairHFn blurPairH;
    BlurOctHFn blurOctH;
    BlurStripVFn blurStripV;
    LumaRowFn lumaRow;
    EdgeRowFn edgeRow;
    BlitRowFn copyRow;     // s (k4 unused)
    BlitRowFn addMinusRow; // min(d + max(s - k, 0), 255)
    BlitRowFn subPlusRow;  // max(d - min(s + k, 255), 0)
    AlphaRowFn alphaRow;
    BlitRowFn minusRow;    // max(s - k, 0)
    GrayRowFn grayRow;
    CopyBlocksFn copyBlocks;
};

void flt_BlurPairHSSE2(const uint32_t *srcA, const uint32_t *srcB, uint32_t *dstA, uint32_t *dstB, int n,
                       int32_t coef, uint32_t threshold);
void flt_BlurPairHRef(const uint32_t *srcA, const uint32_t *srcB, uint32_t *dstA, uint32_t *dstB, int n,
                      int32_t coef, uint32_t threshold);
void flt_BlurOctHSSE2(const uint32_t *src, uint32_t *dst, int n, int32_t coef, uint32_t threshold);
void flt_BlurOctHRef(const uint32_t *src, uint32_t *dst, int n, int32_t coef, uint32_t threshold);
void flt_BlurStripVSSE2(const uint32_t *src, uint32_t *dst, int rows, int32_t coef, uint32_t threshold,
                        int16_t *acc);
void flt_BlurStripVRef(const uint32_t *src, uint32_t *dst, int rows, int32_t coef, uint32_t threshold,
                       int16_t *acc);
void flt_LumaRowSSE2(const uint32_t *pixels, uint8_t *out, int n);
void flt_LumaRowRef(const uint32_t *pixels, uint8_t *out, int n);
void flt_EdgeRowSSE2(const uint8_t *up, const uint8_t *mid, const uint8_t *down, uint32_t *row, int n,
                     int shift, int additive);
void flt_EdgeRowRef(const uint8_t *up, const uint8_t *mid, const uint8_t *down, uint32_t *row, int n,
                    int shift, int additive);
void flt_CopyRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_CopyRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_AddMinusRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_AddMinusRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_SubPlusRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_SubPlusRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_AlphaRowSSE2(uint32_t *dst, const uint32_t *src, int n, int32_t alpha);
void flt_AlphaRowRef(uint32_t *dst, const uint32_t *src, int n, int32_t alpha);
void flt_MinusRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_MinusRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t k4);
void flt_GrayRowSSE2(uint32_t *dst, const uint8_t *src, int n);
void flt_GrayRowRef(uint32_t *dst, const uint8_t *src, int n);
void flt_CopyBlocksSSE2(uint32_t *dst, const uint32_t *src, int blocks);
void flt_CopyBlocksRef(uint32_t *dst, const uint32_t *src, int blocks);

extern const FilterKernels flt_KernelsSSE2;
extern const FilterKernels flt_KernelsRef;
// The set the filters use: the SSE2 one where the build has it (core/simd.h)
// unless a test or a benchmark installs the references.
extern const FilterKernels *flt_Kernels;
