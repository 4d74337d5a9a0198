// The SIMD switch: the SSE2 kernels where the build has them (VANTOREL_SSE2,
// which CMake's VANTOREL_SIMD sets on x86-64), their scalar references
// everywhere else. The two give the same bits, so the picture does not depend
// on the switch.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>

#ifdef VANTOREL_SSE2
#include <emmintrin.h>
// The SSE2 kernel, or in a build without them its scalar reference (the name
// not picked need not exist).
#define SSE2_OR_REF(sse2, ref) sse2
inline constexpr bool simdHasSSE2 = true;
#else
#define SSE2_OR_REF(sse2, ref) ref
inline constexpr bool simdHasSSE2 = false;
#endif

// Float to int32 rounded to nearest, halves to even, INT32_MIN when it does
// not fit (NaN included): the x86 conversion's answer under the default
// rounding mode, which the rasteriser's edges were tuned with.
static inline int32_t roundNearest(float v)
{
#ifdef VANTOREL_SSE2
    return _mm_cvtss_si32(_mm_set_ss(v));
#else
    if (v >= -2147483648.0f && v < 2147483648.0f)
        return (int32_t)std::nearbyint(v);
    return INT32_MIN;
#endif
}
