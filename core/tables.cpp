// Table-driven square root: one table lookup per call instead of a sqrt, for
// the aberration mask and the effects.
#include "core/tables.h"

#include <cmath>
#include <cstring>

#include "core/common.h"

uint32_t *sqrt_table;

static double doubleFromWords(uint32_t hi, uint32_t lo)
{
    uint64_t bits = ((uint64_t)hi << 32) | lo;
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

static uint32_t highWord(double d)
{
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    return (uint32_t)(bits >> 32);
}

void sqrtTableBuild(void)
{
    // Kept for the whole run, like every start-up table.
    sqrt_table = (uint32_t *)allocAligned(1024, sizeof(uint32_t));
    for (uint32_t i = 0; i < 512; i++) {
        // Even exponent: the mantissa 1 + i/512.
        sqrt_table[i] = highWord(std::sqrt(doubleFromWords(0x3FF00000u | (i << 11), 0))) & 0xFFFFFu;
    }
    for (uint32_t i = 0; i < 512; i++) {
        // Odd exponent folded into the mantissa: 2 + i/256.
        sqrt_table[512 + i] = highWord(std::sqrt(doubleFromWords(0x40000000u | (i << 11), 0))) & 0xFFFFFu;
    }
}

double fastSqrt(double x)
{
    if (x == 0.0)
        return 0.0;
    uint64_t bits;
    memcpy(&bits, &x, sizeof bits);
    int32_t hi = (int32_t)(bits >> 32);
    int32_t e = (hi >> 20) - 1023;
    int32_t m = hi & 0xFFFFF;
    if (e & 1)
        m |= 0x100000;
    uint32_t newHi = ((uint32_t)((e >> 1) + 1023) << 20) | sqrt_table[m >> 11];
    return doubleFromWords(newHi, (uint32_t)bits);
}
