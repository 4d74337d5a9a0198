// The post passes' SSE2 kernels: four pixels at a time, in 16-bit lanes where
// the arithmetic needs them and in saturating bytes where bytes suffice. Each
// gives the same bits as its scalar reference in post_ref.cpp, which also
// finishes the pixels left over at the end of a run.
#include <emmintrin.h> // Required for: SSE2 intrinsics

#include <cstring> // Required for: memcpy()

#include "post/post_local.h"

const PostKernels pst_KernelsSSE2 = {
    pst_AberrationRowSSE2, pst_GlowAddSSE2, pst_LensAddSSE2, pst_DarkenSSE2, pst_BrightenSSE2,
};

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

static inline __m128i load4(const uint32_t *p)
{
    return _mm_loadu_si128((const __m128i *)p);
}

static inline void store4(uint32_t *p, __m128i v)
{
    _mm_storeu_si128((__m128i *)p, v);
}

// Two pixels' bytes in 9.7 lanes: o + 2 hi16((s - o) * w), the blend of
// blitAlpha with its weight per lane.
static inline __m128i blendLanes(__m128i s, __m128i o, __m128i w)
{
    __m128i ol = _mm_slli_epi16(o, LANE_FRAC);
    __m128i h = _mm_mulhi_epi16(_mm_subs_epi16(_mm_slli_epi16(s, LANE_FRAC), ol), w);
    return _mm_adds_epi16(ol, _mm_adds_epi16(h, h));
}

// ---------------------------------------------------------------------------
// Aberration
// ---------------------------------------------------------------------------

void pst_AberrationRowSSE2(uint32_t *dst, const uint32_t *red, const uint32_t *green, const uint32_t *blue,
                           const uint8_t *mask, int n)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i redBytes = _mm_set1_epi32((int)0xFFFF0000u); // red and the fourth byte
    const __m128i greenByte = _mm_set1_epi32(0x0000FF00);
    const __m128i blueByte = _mm_set1_epi32(0x000000FF);
    const __m128i full = _mm_set1_epi8((char)0xFF);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        // All of this group's sources are read before its pixels are stored.
        __m128i s = _mm_or_si128(_mm_and_si128(load4(red + x), redBytes),
                                 _mm_or_si128(_mm_and_si128(load4(green + x), greenByte),
                                              _mm_and_si128(load4(blue + x), blueByte)));
        __m128i o = load4(dst + x);

        // Mask bytes m0 (pixels 0, 1) and m1 (pixels 2, 3) spread to every
        // byte of their pixels.
        uint16_t pair;
        memcpy(&pair, mask + (x >> 1), 2);
        __m128i m = _mm_cvtsi32_si128(pair);
        m = _mm_unpacklo_epi8(m, m);  // m0 m0 m1 m1
        m = _mm_unpacklo_epi16(m, m); // m0 x4, m1 x4
        m = _mm_unpacklo_epi32(m, m); // m0 m0 m1 m1 in 32-bit lanes

        __m128i wLo = _mm_slli_epi16(_mm_unpacklo_epi8(m, zero), LANE_FRAC);
        __m128i wHi = _mm_slli_epi16(_mm_unpackhi_epi8(m, zero), LANE_FRAC);
        __m128i lo = blendLanes(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(o, zero), wLo);
        __m128i hi = blendLanes(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(o, zero), wHi);
        __m128i blended = _mm_packus_epi16(_mm_srai_epi16(lo, LANE_FRAC), _mm_srai_epi16(hi, LANE_FRAC));

        // m = 255 takes the shifted pixel as it is.
        __m128i whole = _mm_cmpeq_epi8(m, full);
        store4(dst + x, _mm_or_si128(_mm_and_si128(whole, s), _mm_andnot_si128(whole, blended)));
    }
    pst_AberrationRowRef(dst + x, red + x, green + x, blue + x, mask + (x >> 1), n - x);
}

// ---------------------------------------------------------------------------
// Glow
// ---------------------------------------------------------------------------

// Two pixels' glow term: (8 o +sat 2 hi16(c8 * (g << 7))) >> 3.
static inline __m128i glowLanes(__m128i o, __m128i g, __m128i c8)
{
    __m128i p = _mm_mulhi_epi16(c8, _mm_slli_epi16(g, LANE_FRAC));
    __m128i sum = _mm_adds_epi16(_mm_slli_epi16(o, GLOW_FRAC), _mm_adds_epi16(p, p));
    return _mm_srai_epi16(sum, GLOW_FRAC);
}

void pst_GlowAddSSE2(uint32_t *dst, const uint32_t *glow, int n, const int16_t colour8[4])
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i c8 = _mm_setr_epi16(colour8[0], colour8[1], colour8[2], colour8[3], colour8[0], colour8[1],
                                      colour8[2], colour8[3]);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        __m128i o = load4(dst + x), g = load4(glow + x);
        __m128i lo = glowLanes(_mm_unpacklo_epi8(o, zero), _mm_unpacklo_epi8(g, zero), c8);
        __m128i hi = glowLanes(_mm_unpackhi_epi8(o, zero), _mm_unpackhi_epi8(g, zero), c8);
        store4(dst + x, _mm_packus_epi16(lo, hi));
    }
    pst_GlowAddRef(dst + x, glow + x, n - x, colour8);
}

void pst_LensAddSSE2(uint32_t *dst, const uint32_t *mirror, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        // mirror[-i - 3 .. -i], turned round so that mirror[-i] meets dst[i].
        __m128i g = _mm_shuffle_epi32(load4(mirror - i - 3), _MM_SHUFFLE(0, 1, 2, 3));
        store4(dst + i, _mm_adds_epu8(load4(dst + i), g));
    }
    pst_LensAddRef(dst + i, mirror - i, n - i);
}

// ---------------------------------------------------------------------------
// Brightness
// ---------------------------------------------------------------------------

void pst_DarkenSSE2(uint32_t *dst, int n, int32_t scale)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i k = _mm_set1_epi16((short)scale);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        __m128i v = load4(dst + x);
        // b * scale <= 255 * 127 fits the lane; the shift is unsigned.
        __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), k), BRIGHTNESS_FRAC);
        __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), k), BRIGHTNESS_FRAC);
        store4(dst + x, _mm_packus_epi16(lo, hi));
    }
    pst_DarkenRef(dst + x, n - x, scale);
}

void pst_BrightenSSE2(uint32_t *dst, int n, uint32_t add4)
{
    const __m128i k = _mm_set1_epi32((int)add4);
    int x = 0;
    for (; x + 4 <= n; x += 4)
        store4(dst + x, _mm_adds_epu8(load4(dst + x), k));
    pst_BrightenRef(dst + x, n - x, add4);
}
