// Scalar references of the post passes' kernels: one lane at a time, one
// operation per SSE2 instruction of the packed kernels, giving the same bits.

// Plain scalar code for the same reasons as in filter_ref.cpp: the tests'
// independent check and the benchmarks' baseline, never called by the demo.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-vectorize", "no-tree-loop-distribute-patterns")
#endif

#include "post/post_local.h"

const PostKernels pst_KernelsRef = {
    pst_AberrationRowRef, pst_GlowAddRef, pst_LensAddRef, pst_DarkenRef, pst_BrightenRef,
};

void pst_AberrationRowRef(uint32_t *dst, const uint32_t *red, const uint32_t *green, const uint32_t *blue,
                          const uint8_t *mask, int n)
{
    for (int x = 0; x < n; x++) {
        uint32_t s = (red[x] & 0xFFFF0000u) | (green[x] & 0x0000FF00u) | (blue[x] & 0x000000FFu);
        int32_t m = mask[x >> 1];
        if (m >= 255) {
            dst[x] = s;
            continue;
        }
        const int16_t weight = (int16_t)(m << LANE_FRAC);
        uint32_t o = dst[x], result = 0;
        for (int b = 0; b < 4; b++) {
            int16_t ol = (int16_t)(byteOf(o, b) << LANE_FRAC);
            int16_t sl = (int16_t)(byteOf(s, b) << LANE_FRAC);
            int16_t h = laneMulHi(laneSubs(sl, ol), weight);
            result |= (uint32_t)laneToByte(laneAdds(ol, laneAdds(h, h))) << (8 * b);
        }
        dst[x] = result;
    }
}

void pst_GlowAddRef(uint32_t *dst, const uint32_t *glow, int n, const int16_t colour8[4])
{
    for (int x = 0; x < n; x++) {
        uint32_t o = dst[x], g = glow[x], result = 0;
        for (int b = 0; b < 4; b++) {
            int16_t p = laneMulHi(colour8[b], (int16_t)(byteOf(g, b) << LANE_FRAC));
            int16_t sum = laneAdds((int16_t)(byteOf(o, b) << GLOW_FRAC), laneAdds(p, p));
            result |= (uint32_t)laneToByte(sum, GLOW_FRAC) << (8 * b);
        }
        dst[x] = result;
    }
}

void pst_LensAddRef(uint32_t *dst, const uint32_t *mirror, int n)
{
    for (int i = 0; i < n; i++) {
        uint32_t o = dst[i], g = mirror[-i], result = 0;
        for (int b = 0; b < 4; b++)
            result |= (uint32_t)byteAdds(byteOf(o, b), byteOf(g, b)) << (8 * b);
        dst[i] = result;
    }
}

void pst_DarkenRef(uint32_t *dst, int n, int32_t scale)
{
    for (int x = 0; x < n; x++) {
        uint32_t p = dst[x], result = 0;
        for (int b = 0; b < 4; b++) // pmullw, psrlw: b * scale < 32768
            result |= (uint32_t)((byteOf(p, b) * scale) >> BRIGHTNESS_FRAC) << (8 * b);
        dst[x] = result;
    }
}

void pst_BrightenRef(uint32_t *dst, int n, uint32_t add4)
{
    for (int x = 0; x < n; x++) {
        uint32_t p = dst[x], result = 0;
        for (int b = 0; b < 4; b++)
            result |= (uint32_t)byteAdds(byteOf(p, b), byteOf(add4, b)) << (8 * b);
        dst[x] = result;
    }
}
