// The effects' shared sine and reciprocal tables.
#include "fx/fxtables.h"

#include <cmath>

float sin_table[SIN_TABLE_SIZE];
uint32_t recip_table[RECIP_TABLE_SIZE];

void sinTableBuild(void)
{
    // The step is the double nearest 2pi/4096; the product and the sine are
    // taken in extended precision and only the result is rounded to float.
    const long double step = 0.0015339807878856412;
    for (int i = 0; i < SIN_TABLE_SIZE; i++)
        sin_table[i] = (float)std::sin((long double)i * step);
}

void recipTableBuild(void)
{
    recip_table[0] = 0;
    for (uint32_t i = 1; i < RECIP_TABLE_SIZE; i++)
        recip_table[i] = 65536u / i;
}
