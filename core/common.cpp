// Shared helpers: aligned blocks and the demo's random generator (the tagged
// diagnostic format is in core/log.cpp).
#include "core/common.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>  // Required for: posix_memalign(), free()
#include <cstring>

// ---------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------

// Header in front of every aligned block: the first word holds the total length
// (asked size + 16), the rest stays zero.
static const size_t kAlignedHeader = 16;

void *allocAligned(size_t count, size_t size)
{
    if (count == 0 || size == 0)
        return nullptr;
    if (count > (size_t)INT_MAX / size)
        return nullptr;
    size_t bytes = count * size;
    if (bytes > (size_t)INT_MAX - kAlignedHeader)
        return nullptr;
    if (bytes > 1048576)
        printf("**allocating %d MB\n", (int)(bytes >> 20));

    size_t total = bytes + kAlignedHeader;
#ifdef _WIN32
    void *base = _aligned_malloc(total, 16); // Windows has no posix_memalign()
    if (!base)
        return nullptr;
#else
    void *base = nullptr;
    if (posix_memalign(&base, 16, total) != 0)
        return nullptr;
#endif
    memset(base, 0, total);
    uint32_t word = (uint32_t)total;
    memcpy(base, &word, sizeof word);
    return (uint8_t *)base + kAlignedHeader;
}

void freeAligned(void *block)
{
#ifdef _WIN32
    if (block)
        _aligned_free((uint8_t *)block - kAlignedHeader);
#else
    if (block)
        free((uint8_t *)block - kAlignedHeader);
#endif
}

// ---------------------------------------------------------------------------
// Random numbers
// ---------------------------------------------------------------------------

static uint32_t generatorState = 1;

namespace vt {

void srand(uint32_t seed)
{
    generatorState = seed;
}

uint32_t randState()
{
    return generatorState;
}

int rand()
{
    generatorState = generatorState * 214013u + 2531011u;
    return (int)((generatorState >> 16) & 0x7FFF);
}

} // namespace vt
