// Lookup tables the effects share so that no per-pixel code needs
// trigonometry or division.
#pragma once

#include <cstdint>

enum {
    SIN_TABLE_SIZE = 4096,   // one full turn
    RECIP_TABLE_SIZE = 5120, // longest line drawn, in sixteenths of a pixel
};

extern float sin_table[SIN_TABLE_SIZE];       // sin(i * 2pi / 4096)
extern uint32_t recip_table[RECIP_TABLE_SIZE]; // 65536 / i, entry 0 = 0

void sinTableBuild(void);
void recipTableBuild(void);
