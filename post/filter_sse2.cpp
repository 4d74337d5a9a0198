// The filters' SSE2 row kernels: four 16-bit 9.7 lanes per pixel, or plain
// saturating bytes where the result is the same. Each gives the same bits as
// its scalar reference in filter_ref.cpp, which also finishes the pixels left
// over at the end of a row.
#include <emmintrin.h> // Required for: SSE2 intrinsics

#include "post/filter_local.h"
#include "render/bitmap.h"

const FilterKernels flt_KernelsSSE2 = {
    flt_BlurPairHSSE2, flt_BlurOctHSSE2,  flt_BlurStripVSSE2, flt_LumaRowSSE2,  flt_EdgeRowSSE2,  flt_CopyRowSSE2,    flt_AddMinusRowSSE2,
    flt_SubPlusRowSSE2, flt_AlphaRowSSE2,  flt_MinusRowSSE2, flt_GrayRowSSE2,  flt_CopyBlocksSSE2,
};

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

static inline __m128i loadPixel(const uint32_t *p)
{
    return _mm_cvtsi32_si128((int)*p);
}

// Bytes 0..7 of v as eight 9.7 lanes.
static inline __m128i bytesToLanes(__m128i v)
{
    return _mm_slli_epi16(_mm_unpacklo_epi8(v, _mm_setzero_si128()), LANE_FRAC);
}

// acc moves from x toward its previous value by coef / 256 (k = coef << 7).
static inline __m128i blurStep(__m128i acc, __m128i x, __m128i k)
{
    __m128i h = _mm_mulhi_epi16(_mm_subs_epi16(acc, x), k);
    return _mm_adds_epi16(x, _mm_adds_epi16(h, h));
}

// Two lane registers (four pixels) back to bytes, clamped to 0..255.
static inline __m128i lanesToBytes(__m128i lo, __m128i hi)
{
    return _mm_packus_epi16(_mm_srai_epi16(lo, LANE_FRAC), _mm_srai_epi16(hi, LANE_FRAC));
}

// ---------------------------------------------------------------------------
// Blurs
// ---------------------------------------------------------------------------

void flt_BlurPairHSSE2(const uint32_t *srcA, const uint32_t *srcB, uint32_t *dstA, uint32_t *dstB, int n,
                       int32_t coef, uint32_t threshold)
{
    // One register: row A's pixel in lanes 0..3, row B's in lanes 4..7.
    const __m128i k = _mm_set1_epi16((short)(coef << LANE_FRAC));
    const __m128i t = _mm_set1_epi32((int)threshold);
    __m128i acc = bytesToLanes(_mm_subs_epu8(_mm_unpacklo_epi32(loadPixel(srcA), loadPixel(srcB)), t));
    for (int x = 0; x < n; x++) {
        __m128i in = _mm_subs_epu8(_mm_unpacklo_epi32(loadPixel(srcA + x), loadPixel(srcB + x)), t);
        acc = blurStep(acc, bytesToLanes(in), k);
        __m128i out = lanesToBytes(acc, acc);
        dstA[x] = (uint32_t)_mm_cvtsi128_si32(out);
        dstB[x] = (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(out, 4));
    }
    for (int x = n - 1; x >= 0; x--) {
        __m128i in = _mm_unpacklo_epi32(loadPixel(dstA + x), loadPixel(dstB + x));
        acc = blurStep(acc, bytesToLanes(in), k);
        __m128i out = lanesToBytes(acc, acc);
        dstA[x] = (uint32_t)_mm_cvtsi128_si32(out);
        dstB[x] = (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(out, 4));
    }
}

// Pixel x of rows r and r + 1 as one lane register (row r in lanes 0..3).
static inline __m128i loadRowPair(const uint32_t *p, int r, int x)
{
    __m128i in = _mm_unpacklo_epi32(loadPixel(p + r * FRAME_WIDTH + x), loadPixel(p + (r + 1) * FRAME_WIDTH + x));
    return bytesToLanes(in);
}

static inline void storeRowPair(uint32_t *p, int r, int x, __m128i acc)
{
    __m128i out = lanesToBytes(acc, acc);
    p[r * FRAME_WIDTH + x] = (uint32_t)_mm_cvtsi128_si32(out);
    p[(r + 1) * FRAME_WIDTH + x] = (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(out, 4));
}

// The threshold comes off the bytes before they widen, as in the pair kernel.
static inline __m128i loadRowPairThreshold(const uint32_t *p, int r, int x, __m128i t)
{
    __m128i in = _mm_unpacklo_epi32(loadPixel(p + r * FRAME_WIDTH + x), loadPixel(p + (r + 1) * FRAME_WIDTH + x));
    return bytesToLanes(_mm_subs_epu8(in, t));
}

void flt_BlurOctHSSE2(const uint32_t *src, uint32_t *dst, int n, int32_t coef, uint32_t threshold)
{
    const __m128i k = _mm_set1_epi16((short)(coef << LANE_FRAC));
    const __m128i t = _mm_set1_epi32((int)threshold);
    // Rows 0-1, 2-3, 4-5 and 6-7: four chains that do not wait on each other.
    __m128i a0 = loadRowPairThreshold(src, 0, 0, t);
    __m128i a1 = loadRowPairThreshold(src, 2, 0, t);
    __m128i a2 = loadRowPairThreshold(src, 4, 0, t);
    __m128i a3 = loadRowPairThreshold(src, 6, 0, t);
    for (int x = 0; x < n; x++) {
        a0 = blurStep(a0, loadRowPairThreshold(src, 0, x, t), k);
        a1 = blurStep(a1, loadRowPairThreshold(src, 2, x, t), k);
        a2 = blurStep(a2, loadRowPairThreshold(src, 4, x, t), k);
        a3 = blurStep(a3, loadRowPairThreshold(src, 6, x, t), k);
        storeRowPair(dst, 0, x, a0);
        storeRowPair(dst, 2, x, a1);
        storeRowPair(dst, 4, x, a2);
        storeRowPair(dst, 6, x, a3);
    }
    for (int x = n - 1; x >= 0; x--) {
        a0 = blurStep(a0, loadRowPair(dst, 0, x), k);
        a1 = blurStep(a1, loadRowPair(dst, 2, x), k);
        a2 = blurStep(a2, loadRowPair(dst, 4, x), k);
        a3 = blurStep(a3, loadRowPair(dst, 6, x), k);
        storeRowPair(dst, 0, x, a0);
        storeRowPair(dst, 2, x, a1);
        storeRowPair(dst, 4, x, a2);
        storeRowPair(dst, 6, x, a3);
    }
}

// Eight pixels of one row as four lane registers, two pixels each.
struct StripLanes {
    __m128i l0, l1, l2, l3;
};

static inline StripLanes loadStrip(const uint32_t *p, __m128i t)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)p), t);
    __m128i hi = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(p + 4)), t);
    StripLanes s;
    s.l0 = _mm_slli_epi16(_mm_unpacklo_epi8(lo, zero), LANE_FRAC);
    s.l1 = _mm_slli_epi16(_mm_unpackhi_epi8(lo, zero), LANE_FRAC);
    s.l2 = _mm_slli_epi16(_mm_unpacklo_epi8(hi, zero), LANE_FRAC);
    s.l3 = _mm_slli_epi16(_mm_unpackhi_epi8(hi, zero), LANE_FRAC);
    return s;
}

// One row of the strip: four independent accumulator chains.
static inline void stripStep(StripLanes *acc, const StripLanes &in, __m128i k, uint32_t *out)
{
    acc->l0 = blurStep(acc->l0, in.l0, k);
    acc->l1 = blurStep(acc->l1, in.l1, k);
    acc->l2 = blurStep(acc->l2, in.l2, k);
    acc->l3 = blurStep(acc->l3, in.l3, k);
    _mm_storeu_si128((__m128i *)out, lanesToBytes(acc->l0, acc->l1));
    _mm_storeu_si128((__m128i *)(out + 4), lanesToBytes(acc->l2, acc->l3));
}

static inline StripLanes loadAccumulators(const int16_t *acc)
{
    StripLanes s;
    s.l0 = _mm_load_si128((const __m128i *)acc);
    s.l1 = _mm_load_si128((const __m128i *)(acc + 8));
    s.l2 = _mm_load_si128((const __m128i *)(acc + 16));
    s.l3 = _mm_load_si128((const __m128i *)(acc + 24));
    return s;
}

static inline void storeAccumulators(int16_t *acc, const StripLanes &s)
{
    _mm_store_si128((__m128i *)acc, s.l0);
    _mm_store_si128((__m128i *)(acc + 8), s.l1);
    _mm_store_si128((__m128i *)(acc + 16), s.l2);
    _mm_store_si128((__m128i *)(acc + 24), s.l3);
}

void flt_BlurStripVSSE2(const uint32_t *src, uint32_t *dst, int rows, int32_t coef, uint32_t threshold,
                        int16_t *acc)
{
    const __m128i k = _mm_set1_epi16((short)(coef << LANE_FRAC));
    const __m128i t = _mm_set1_epi32((int)threshold);
    const __m128i none = _mm_setzero_si128(); // the backward pass reads without threshold
    storeAccumulators(acc, loadStrip(src, t));

    // The accumulators stay in registers during a pass and in acc between passes.
    StripLanes a = loadAccumulators(acc);
    for (int r = 0; r < rows; r++)
        stripStep(&a, loadStrip(src + r * FRAME_WIDTH, t), k, dst + r * FRAME_WIDTH);
    storeAccumulators(acc, a);

    a = loadAccumulators(acc);
    for (int r = rows - 1; r >= 0; r--)
        stripStep(&a, loadStrip(dst + r * FRAME_WIDTH, none), k, dst + r * FRAME_WIDTH);
    storeAccumulators(acc, a);
}

// ---------------------------------------------------------------------------
// Luminance and edges
// ---------------------------------------------------------------------------

// (b + 2g + r) >> 2 of four pixels, one per 32-bit lane.
static inline __m128i luma4(__m128i p)
{
    const __m128i blueRed = _mm_set1_epi32(0x00FF00FF);
    const __m128i ones = _mm_set1_epi16(1);
    __m128i br = _mm_madd_epi16(_mm_and_si128(p, blueRed), ones);                // b + r
    __m128i g2 = _mm_and_si128(_mm_srli_epi32(p, 7), _mm_set1_epi32(0x1FE)); // 2g
    return _mm_srli_epi32(_mm_add_epi32(br, g2), 2);
}

void flt_LumaRowSSE2(const uint32_t *pixels, uint8_t *out, int n)
{
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m128i lo = luma4(_mm_loadu_si128((const __m128i *)(pixels + x)));
        __m128i hi = luma4(_mm_loadu_si128((const __m128i *)(pixels + x + 4)));
        __m128i words = _mm_packs_epi32(lo, hi); // values 0..255 survive both packs
        _mm_storel_epi64((__m128i *)(out + x), _mm_packus_epi16(words, words));
    }
    flt_LumaRowRef(pixels + x, out + x, n - x);
}

// Eight luminance bytes as eight 16-bit lanes.
static inline __m128i lumaLanes(const uint8_t *p)
{
    return _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)p), _mm_setzero_si128());
}

void flt_EdgeRowSSE2(const uint8_t *up, const uint8_t *mid, const uint8_t *down, uint32_t *row, int n,
                     int shift, int additive)
{
    const __m128i count = _mm_cvtsi32_si128(shift); // psrlw by 16 clears the lane
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        // Columns x - 1, x and x + 1 of the eight outputs sit at bytes x, x + 1, x + 2.
        __m128i ul = lumaLanes(up + x), u = lumaLanes(up + x + 1), ur = lumaLanes(up + x + 2);
        __m128i l = lumaLanes(mid + x), r = lumaLanes(mid + x + 2);
        __m128i dl = lumaLanes(down + x), d = lumaLanes(down + x + 1), dr = lumaLanes(down + x + 2);
        __m128i right = _mm_add_epi16(_mm_add_epi16(ur, dr), _mm_add_epi16(r, r));
        __m128i left = _mm_add_epi16(_mm_add_epi16(ul, dl), _mm_add_epi16(l, l));
        __m128i below = _mm_add_epi16(_mm_add_epi16(dl, dr), _mm_add_epi16(d, d));
        __m128i above = _mm_add_epi16(_mm_add_epi16(ul, ur), _mm_add_epi16(u, u));
        __m128i gx = _mm_slli_epi16(_mm_sub_epi16(right, left), 4); // 16 gx, |16 gx| <= 16320
        __m128i gy = _mm_slli_epi16(_mm_sub_epi16(below, above), 4);
        __m128i m = _mm_adds_epi16(_mm_mulhi_epi16(gx, gx), _mm_mulhi_epi16(gy, gy));
        m = _mm_srl_epi16(m, count);
        m = _mm_packus_epi16(m, m); // eight magnitudes, clamped to 255

        __m128i pairs = _mm_unpacklo_epi8(m, m);
        __m128i grey0 = _mm_unpacklo_epi16(pairs, pairs); // m in all four bytes of pixels 0..3
        __m128i grey1 = _mm_unpackhi_epi16(pairs, pairs); // pixels 4..7
        __m128i *p = (__m128i *)(row + x);
        if (additive) {
            grey0 = _mm_adds_epu8(_mm_loadu_si128(p), grey0);
            grey1 = _mm_adds_epu8(_mm_loadu_si128(p + 1), grey1);
        }
        _mm_storeu_si128(p, grey0);
        _mm_storeu_si128(p + 1, grey1);
    }
    flt_EdgeRowRef(up + x, mid + x, down + x, row + x, n - x, shift, additive);
}

// ---------------------------------------------------------------------------
// Blits
// ---------------------------------------------------------------------------

void flt_CopyRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4)
{
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m128i a = _mm_loadu_si128((const __m128i *)(src + x));
        __m128i b = _mm_loadu_si128((const __m128i *)(src + x + 4));
        _mm_storeu_si128((__m128i *)(dst + x), a);
        _mm_storeu_si128((__m128i *)(dst + x + 4), b);
    }
    flt_CopyRowRef(dst + x, src + x, n - x, k4);
}

void flt_AddMinusRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4)
{
    const __m128i k = _mm_set1_epi32((int)k4);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        __m128i *d = (__m128i *)(dst + x);
        __m128i s = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(src + x)), k);
        _mm_storeu_si128(d, _mm_adds_epu8(_mm_loadu_si128(d), s));
    }
    flt_AddMinusRowRef(dst + x, src + x, n - x, k4);
}

void flt_SubPlusRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4)
{
    const __m128i k = _mm_set1_epi32((int)k4);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        __m128i *d = (__m128i *)(dst + x);
        __m128i s = _mm_adds_epu8(_mm_loadu_si128((const __m128i *)(src + x)), k);
        _mm_storeu_si128(d, _mm_subs_epu8(_mm_loadu_si128(d), s));
    }
    flt_SubPlusRowRef(dst + x, src + x, n - x, k4);
}

void flt_MinusRowSSE2(uint32_t *dst, const uint32_t *src, int n, uint32_t k4)
{
    const __m128i k = _mm_set1_epi32((int)k4);
    int x = 0;
    for (; x + 4 <= n; x += 4)
        _mm_storeu_si128((__m128i *)(dst + x), _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(src + x)), k));
    flt_MinusRowRef(dst + x, src + x, n - x, k4);
}

// Two pixels blended in lanes: d + 2 hi16((s - d) * A), A = (sa * alpha) >> 1
// in each of a pixel's four lanes. sa = 0 gives A = 0 and leaves d as it is.
static inline __m128i alphaLanes(__m128i s, __m128i d, __m128i alpha)
{
    __m128i sa = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    __m128i weight = _mm_srli_epi16(_mm_mullo_epi16(sa, alpha), 1); // sa * alpha < 65536: exact
    __m128i dl = _mm_slli_epi16(d, LANE_FRAC);
    __m128i h = _mm_mulhi_epi16(_mm_subs_epi16(_mm_slli_epi16(s, LANE_FRAC), dl), weight);
    return _mm_adds_epi16(dl, _mm_adds_epi16(h, h));
}

void flt_AlphaRowSSE2(uint32_t *dst, const uint32_t *src, int n, int32_t alpha)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_set1_epi16((short)alpha);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        __m128i *dp = (__m128i *)(dst + x);
        __m128i s = _mm_loadu_si128((const __m128i *)(src + x));
        __m128i d = _mm_loadu_si128(dp);
        __m128i lo = alphaLanes(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero), a);
        __m128i hi = alphaLanes(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero), a);
        _mm_storeu_si128(dp, lanesToBytes(lo, hi));
    }
    flt_AlphaRowRef(dst + x, src + x, n - x, alpha);
}

void flt_GrayRowSSE2(uint32_t *dst, const uint8_t *src, int n)
{
    const __m128i opaque = _mm_set1_epi32((int)0xFF000000u);
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m128i v = _mm_loadu_si128((const __m128i *)(src + x));
        __m128i lo = _mm_unpacklo_epi8(v, v); // each byte twice
        __m128i hi = _mm_unpackhi_epi8(v, v);
        __m128i *d = (__m128i *)(dst + x);
        _mm_storeu_si128(d, _mm_or_si128(_mm_unpacklo_epi16(lo, lo), opaque)); // each byte four times
        _mm_storeu_si128(d + 1, _mm_or_si128(_mm_unpackhi_epi16(lo, lo), opaque));
        _mm_storeu_si128(d + 2, _mm_or_si128(_mm_unpacklo_epi16(hi, hi), opaque));
        _mm_storeu_si128(d + 3, _mm_or_si128(_mm_unpackhi_epi16(hi, hi), opaque));
    }
    flt_GrayRowRef(dst + x, src + x, n - x);
}

void flt_CopyBlocksSSE2(uint32_t *dst, const uint32_t *src, int blocks)
{
    for (int i = 0; i < blocks; i++) {
        __m128i a = _mm_loadu_si128((const __m128i *)(src + 8 * i));
        __m128i b = _mm_loadu_si128((const __m128i *)(src + 8 * i + 4));
        _mm_storeu_si128((__m128i *)(dst + 8 * i), a);
        _mm_storeu_si128((__m128i *)(dst + 8 * i + 4), b);
    }
}
