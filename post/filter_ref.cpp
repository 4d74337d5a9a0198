// Scalar references of the filters' row kernels: one lane at a time, one
// operation per SSE2 instruction of the packed kernels, giving the same bits.

// Kept from the auto-vectoriser and from being turned into memcpy calls, so
// that the references stay plain scalar code: an independent check of the
// SSE2 kernels in the tests, and the baseline the benchmarks measure them
// against. Nothing in the running demo calls them. Set before the includes so
// that the lane helpers of filter_local.h are compiled the same way.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-vectorize", "no-tree-loop-distribute-patterns")
#endif

#include "post/filter_local.h"
#include "render/bitmap.h"

const FilterKernels flt_KernelsRef = {
    flt_BlurPairHRef,  flt_BlurOctHRef,   flt_BlurStripVRef, flt_LumaRowRef,  flt_EdgeRowRef, flt_CopyRowRef,    flt_AddMinusRowRef,
    flt_SubPlusRowRef, flt_AlphaRowRef,   flt_MinusRowRef, flt_GrayRowRef, flt_CopyBlocksRef,
};

// acc moves from the input x toward its previous value by coef / 256.
static inline int16_t blurStep(int16_t acc, int16_t x, int16_t k)
{
    int16_t h = laneMulHi(laneSubs(acc, x), k);
    return laneAdds(x, laneAdds(h, h));
}

// A source byte as the forward passes read it: threshold removed, to 9.7.
static inline int16_t blurInput(uint32_t pixel, uint32_t threshold, int i)
{
    return (int16_t)(byteSubs(byteOf(pixel, i), byteOf(threshold, i)) << LANE_FRAC);
}

// ---------------------------------------------------------------------------
// Scalar references
// ---------------------------------------------------------------------------

void flt_BlurPairHRef(const uint32_t *srcA, const uint32_t *srcB, uint32_t *dstA, uint32_t *dstB, int n,
                      int32_t coef, uint32_t threshold)
{
    const int16_t k = (int16_t)(coef << LANE_FRAC);
    int16_t acc[8]; // row A's four lanes, then row B's
    for (int i = 0; i < 4; i++) {
        acc[i] = blurInput(srcA[0], threshold, i);
        acc[4 + i] = blurInput(srcB[0], threshold, i);
    }
    // Both rows step together, A written before B, as the packed kernel does:
    // a row paired with itself then comes out as if blurred alone.
    for (int x = 0; x < n; x++) {
        uint32_t a = srcA[x], b = srcB[x], outA = 0, outB = 0;
        for (int i = 0; i < 4; i++) {
            acc[i] = blurStep(acc[i], blurInput(a, threshold, i), k);
            acc[4 + i] = blurStep(acc[4 + i], blurInput(b, threshold, i), k);
            outA |= (uint32_t)laneToByte(acc[i]) << (8 * i);
            outB |= (uint32_t)laneToByte(acc[4 + i]) << (8 * i);
        }
        dstA[x] = outA;
        dstB[x] = outB;
    }
    for (int x = n - 1; x >= 0; x--) {
        uint32_t a = dstA[x], b = dstB[x], outA = 0, outB = 0;
        for (int i = 0; i < 4; i++) {
            acc[i] = blurStep(acc[i], (int16_t)(byteOf(a, i) << LANE_FRAC), k);
            acc[4 + i] = blurStep(acc[4 + i], (int16_t)(byteOf(b, i) << LANE_FRAC), k);
            outA |= (uint32_t)laneToByte(acc[i]) << (8 * i);
            outB |= (uint32_t)laneToByte(acc[4 + i]) << (8 * i);
        }
        dstA[x] = outA;
        dstB[x] = outB;
    }
}

void flt_BlurOctHRef(const uint32_t *src, uint32_t *dst, int n, int32_t coef, uint32_t threshold)
{
    for (int r = 0; r < 8; r += 2) {
        flt_BlurPairHRef(src + r * FRAME_WIDTH, src + (r + 1) * FRAME_WIDTH, dst + r * FRAME_WIDTH,
                         dst + (r + 1) * FRAME_WIDTH, n, coef, threshold);
    }
}

void flt_BlurStripVRef(const uint32_t *src, uint32_t *dst, int rows, int32_t coef, uint32_t threshold,
                       int16_t *acc)
{
    const int16_t k = (int16_t)(coef << LANE_FRAC);
    for (int c = 0; c < FILTER_ACCUMULATORS; c++)
        for (int i = 0; i < 4; i++)
            acc[4 * c + i] = blurInput(src[c], threshold, i);
    for (int r = 0; r < rows; r++) {
        const uint32_t *in = src + r * FRAME_WIDTH;
        uint32_t *out = dst + r * FRAME_WIDTH;
        for (int c = 0; c < FILTER_ACCUMULATORS; c++) {
            uint32_t pixel = in[c], result = 0;
            for (int i = 0; i < 4; i++) {
                int16_t *a = &acc[4 * c + i];
                *a = blurStep(*a, blurInput(pixel, threshold, i), k);
                result |= (uint32_t)laneToByte(*a) << (8 * i);
            }
            out[c] = result;
        }
    }
    for (int r = rows - 1; r >= 0; r--) {
        uint32_t *row = dst + r * FRAME_WIDTH;
        for (int c = 0; c < FILTER_ACCUMULATORS; c++) {
            uint32_t pixel = row[c], result = 0;
            for (int i = 0; i < 4; i++) {
                int16_t *a = &acc[4 * c + i];
                *a = blurStep(*a, (int16_t)(byteOf(pixel, i) << LANE_FRAC), k);
                result |= (uint32_t)laneToByte(*a) << (8 * i);
            }
            row[c] = result;
        }
    }
}

void flt_LumaRowRef(const uint32_t *pixels, uint8_t *out, int n)
{
    for (int x = 0; x < n; x++) {
        uint32_t p = pixels[x];
        out[x] = (uint8_t)((byteOf(p, 0) + 2 * byteOf(p, 1) + byteOf(p, 2)) >> 2);
    }
}

void flt_EdgeRowRef(const uint8_t *up, const uint8_t *mid, const uint8_t *down, uint32_t *row, int n,
                    int shift, int additive)
{
    for (int i = 1; i <= n; i++) {
        int32_t gx = (up[i + 1] + 2 * mid[i + 1] + down[i + 1]) - (up[i - 1] + 2 * mid[i - 1] + down[i - 1]);
        int32_t gy = (down[i - 1] + 2 * down[i] + down[i + 1]) - (up[i - 1] + 2 * up[i] + up[i + 1]);
        // (16 g)^2 / 65536 is g^2 / 256, the scale at which the magnitude is shifted.
        int32_t m = ((16 * gx) * (16 * gx) >> 16) + ((16 * gy) * (16 * gy) >> 16);
        m = shift >= 16 ? 0 : m >> shift;
        m = m > 255 ? 255 : m;
        uint32_t *p = &row[i - 1];
        if (additive) {
            uint32_t result = 0;
            for (int b = 0; b < 4; b++)
                result |= (uint32_t)byteAdds(byteOf(*p, b), (uint8_t)m) << (8 * b);
            *p = result;
        } else {
            *p = (uint32_t)m * 0x01010101u; // grey m in all four bytes
        }
    }
}

void flt_CopyRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t)
{
    for (int x = 0; x < n; x++)
        dst[x] = src[x];
}

void flt_AddMinusRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t k4)
{
    for (int x = 0; x < n; x++) {
        uint32_t result = 0;
        for (int b = 0; b < 4; b++) {
            uint8_t s = byteSubs(byteOf(src[x], b), byteOf(k4, b));
            result |= (uint32_t)byteAdds(byteOf(dst[x], b), s) << (8 * b);
        }
        dst[x] = result;
    }
}

void flt_SubPlusRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t k4)
{
    for (int x = 0; x < n; x++) {
        uint32_t result = 0;
        for (int b = 0; b < 4; b++) {
            uint8_t s = byteAdds(byteOf(src[x], b), byteOf(k4, b));
            result |= (uint32_t)byteSubs(byteOf(dst[x], b), s) << (8 * b);
        }
        dst[x] = result;
    }
}

void flt_AlphaRowRef(uint32_t *dst, const uint32_t *src, int n, int32_t alpha)
{
    for (int x = 0; x < n; x++) {
        uint32_t s = src[x], d = dst[x];
        int32_t sa = byteOf(s, 3);
        if (sa == 0)
            continue;
        const int16_t weight = (int16_t)((sa * alpha) >> 1); // 0.15 blend weight, at most 32512
        uint32_t result = 0;
        for (int b = 0; b < 4; b++) {
            int16_t dl = (int16_t)(byteOf(d, b) << LANE_FRAC);
            int16_t sl = (int16_t)(byteOf(s, b) << LANE_FRAC);
            int16_t h = laneMulHi(laneSubs(sl, dl), weight);
            result |= (uint32_t)laneToByte(laneAdds(dl, laneAdds(h, h))) << (8 * b);
        }
        dst[x] = result;
    }
}

void flt_MinusRowRef(uint32_t *dst, const uint32_t *src, int n, uint32_t k4)
{
    for (int x = 0; x < n; x++) {
        uint32_t result = 0;
        for (int b = 0; b < 4; b++)
            result |= (uint32_t)byteSubs(byteOf(src[x], b), byteOf(k4, b)) << (8 * b);
        dst[x] = result;
    }
}

void flt_GrayRowRef(uint32_t *dst, const uint8_t *src, int n)
{
    for (int x = 0; x < n; x++)
        dst[x] = 0xFF000000u | src[x] * 0x010101u;
}

void flt_CopyBlocksRef(uint32_t *dst, const uint32_t *src, int blocks)
{
    for (int i = 0; i < blocks * 8; i++)
        dst[i] = src[i];
}

