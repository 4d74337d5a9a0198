// The square-root table and the table-driven square root built on it.
#pragma once

#include <cstdint>

// Top 20 mantissa bits of sqrt(1 + i/512) (entries 0..511) and of
// sqrt(2 + i/256) (entries 512..1023); allocated by sqrtTableBuild.
extern uint32_t *sqrt_table;

void sqrtTableBuild(void);

// Square root of a positive double through sqrt_table: about 20 bits of
// precision, always at or slightly below the true root. fastSqrt(0) is 0.
double fastSqrt(double x);
