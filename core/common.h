// Helpers every module shares: aligned zero-filled blocks, the demo's random
// generator, float truncation and the tagged diagnostic line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <climits>

#include "core/log.h" // Required for: logTagged, LOG_TAGGED (every module's diagnostics)

// ---------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------

// Zero-filled block of count * size bytes at a 16-byte boundary, or null when
// the size is 0, overflows, or memory is exhausted. Blocks over 1 MiB announce
// themselves with "**allocating %d MB".
void *allocAligned(size_t count, size_t size);
// Releases a block from allocAligned (scratch buffers only; null is ignored).
void freeAligned(void *block);

// ---------------------------------------------------------------------------
// Random numbers
// ---------------------------------------------------------------------------

// The one generator the whole demo draws from. Effects reseed it and rely on
// its exact sequence, so it lives in our namespace and never shadows the C
// library's rand(), which SDL and the decoders may call on their own threads.
namespace vt {
void srand(uint32_t seed);
int rand(); // 0..32767
// The generator's whole state: srand(randState()) puts it back where it was.
uint32_t randState();
} // namespace vt

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------

// Float to int32 by truncation toward zero. Values a track or a console may
// produce that do not fit (NaN, infinities, |v| >= 2^31) give INT32_MIN, the
// same answer the x86 conversion instruction gives, without undefined behaviour.
inline int32_t truncInt(double v)
{
    // The comparisons are false for NaN, which falls through to INT32_MIN.
    if (v > -2147483649.0 && v < 2147483648.0)
        return (int32_t)v;
    return INT32_MIN;
}
