// The post passes' own header: the kernels of their per-byte arithmetic,
// shared by post.cpp (the passes), post_sse2.cpp (the SSE2 kernels),
// post_ref.cpp (their scalar references), the tests and the benchmarks.
// Callers outside the post chain use post/post.h.
#pragma once

#include <cstdint>

#include "post/filter_local.h" // Required for: the 9.7 lane format and its scalar operations

// ---------------------------------------------------------------------------
// Fixed-point formats
// ---------------------------------------------------------------------------
// Aberration weights are 9.7 lanes like the blend of blitAlpha: a mask byte m
// becomes the multiplier m << 7, and o + 2 hi16((s - o) * (m << 7)) is about
// o + (s - o) * m / 256. The glow's colour terms are 13.3: c << 3 with
// c = colour * 255 * strength, and hi16((c << 3) * (g << 7)) is g * c / 64,
// added twice to 8 o and brought back by >> 3.
enum {
    GLOW_FRAC = 3,            // 13.3 colour terms and sums
    GLOW_COLOUR_MIN = -4096,  // colour terms whose << 3 still fits a signed lane
    GLOW_COLOUR_MAX = 4095,
    BRIGHTNESS_FRAC = 7,      // darkening scale: level >> 1, 0..127
    BRIGHTNESS_SCALE_MAX = 127,
};

// ---------------------------------------------------------------------------
// Kernels
// ---------------------------------------------------------------------------
// Each has an SSE2 variant and a plain scalar reference beside it; the two
// give the same bits for every input.

// Aberration of n pixels. The shifted pixel of x takes red and the fourth
// byte from red[x], green from green[x] and blue from blue[x]; with
// m = mask[x / 2] it replaces dst[x] when m is 255 and is blended in by m / 256
// otherwise. The sources may lie in dst's own frame: every source pixel at or
// after dst + x must still hold its value from before the call when pixel x is
// done (the kernels read a pixel's sources before they store it and go left
// to right).
typedef void (*AberrationRowFn)(uint32_t *dst, const uint32_t *red, const uint32_t *green, const uint32_t *blue,
                                const uint8_t *mask, int n);
// Glow term over n pixels: each byte o of dst becomes
// ((8 o +sat 2 hi16(colour8 * (g << 7))) >> 3) clamped to 0..255, g the byte
// of glow in the same place and colour8 its channel's 13.3 colour term
// (blue, green, red, fourth byte).
typedef void (*GlowAddFn)(uint32_t *dst, const uint32_t *glow, int n, const int16_t colour8[4]);
// Lens term over n pixels: dst[i] += mirror[-i] in every byte, saturating at
// 255 (mirror points at the last pixel of the glow image).
typedef void (*LensAddFn)(uint32_t *dst, const uint32_t *mirror, int n);
// Darkening of n pixels: every byte b becomes (b * scale) >> 7, scale 0..127.
typedef void (*DarkenFn)(uint32_t *dst, int n, int32_t scale);
// Brightening of n pixels: every byte gains the same byte of add4, saturating.
typedef void (*BrightenFn)(uint32_t *dst, int n, uint32_t add4);

struct PostKernels {
    AberrationRowFn aberrationRow;
    GlowAddFn glowAdd;
    LensAddFn lensAdd;
    DarkenFn darken;
    BrightenFn brighten;
};

void pst_AberrationRowSSE2(uint32_t *dst, const uint32_t *red, const uint32_t *green, const uint32_t *blue,
                           const uint8_t *mask, int n);
void pst_AberrationRowRef(uint32_t *dst, const uint32_t *red, const uint32_t *green, const uint32_t *blue,
                          const uint8_t *mask, int n);
void pst_GlowAddSSE2(uint32_t *dst, const uint32_t *glow, int n, const int16_t colour8[4]);
void pst_GlowAddRef(uint32_t *dst, const uint32_t *glow, int n, const int16_t colour8[4]);
void pst_LensAddSSE2(uint32_t *dst, const uint32_t *mirror, int n);
void pst_LensAddRef(uint32_t *dst, const uint32_t *mirror, int n);
void pst_DarkenSSE2(uint32_t *dst, int n, int32_t scale);
void pst_DarkenRef(uint32_t *dst, int n, int32_t scale);
void pst_BrightenSSE2(uint32_t *dst, int n, uint32_t add4);
void pst_BrightenRef(uint32_t *dst, int n, uint32_t add4);

extern const PostKernels pst_KernelsSSE2;
extern const PostKernels pst_KernelsRef;
// The set the passes use: the SSE2 one where the build has it (core/simd.h)
// unless a test or a benchmark installs the references.
extern const PostKernels *pst_Kernels;
