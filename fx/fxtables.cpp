// The effects' shared sine and reciprocal tables, the additive streak and the
// keyed camera and light paths.
#include "fx/fxtables.h"

#include <cmath>
#include <cstdlib>

#include "render/bitmap.h" // Required for: FRAME_WIDTH, pixelAddSaturate()
#include "render/motion.h"
#include "core/mathfn.h"

float sin_table[SIN_TABLE_SIZE];
uint32_t recip_table[RECIP_TABLE_SIZE];

void sinTableBuild(void)
{
    // The step is the double nearest 2pi/4096. Taken in double precision,
    // each entry rounds to the same float as the sine taken in extended
    // precision (the tests hold it to that), which not every platform has.
    const double step = 0.0015339807878856412;
    for (int i = 0; i < SIN_TABLE_SIZE; i++)
        sin_table[i] = (float)mth_sin(i * step);
}

void recipTableBuild(void)
{
    recip_table[0] = 0;
    for (uint32_t i = 1; i < RECIP_TABLE_SIZE; i++)
        recip_table[i] = 65536u / i;
}

void fxAddStreak(uint32_t *pixels, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour)
{
    const int32_t ax = std::abs(x2 - x1), ay = std::abs(y2 - y1);
    if (ax <= ay) {
        if (ay < 1)
            return;
        const int32_t slope = (int32_t)recip_table[ay] * (x2 - x1); // 16.16 pixels per row
        const int32_t rowStep = y1 > y2 ? -FRAME_WIDTH : FRAME_WIDTH;
        int32_t xacc = x1 << 12; // sixteenths -> 16.16
        uint32_t *row = pixels + (y1 >> 4) * FRAME_WIDTH;
        for (int32_t n = ((ay - 1) >> 4) + 1; n > 0; n--, xacc += slope, row += rowStep) {
            uint32_t *px = row + (xacc >> 16);
            *px = pixelAddSaturate(*px, colour);
        }
    } else {
        const int32_t slope = (int32_t)recip_table[ax] * (y2 - y1);
        const int32_t columnStep = x1 > x2 ? -1 : 1;
        int32_t yacc = y1 << 12;
        int32_t column = x1 >> 4;
        for (int32_t n = ((ax - 1) >> 4) + 1; n > 0; n--, yacc += slope, column += columnStep) {
            uint32_t *px = pixels + (yacc >> 16) * FRAME_WIDTH + column;
            *px = pixelAddSaturate(*px, colour);
        }
    }
}

const float fxCameraKeys[FX_CAMERA_KEYS][3] = {
    {350, -240, 670},  {750, -170, -100}, {450, 430, -600},  {-150, -170, -700}, {-650, 420, 100},
    {-350, -510, 800}, {250, -910, 500},  {150, 910, -700},  {450, -610, -600},  {-450, 910, 800},
};
const float fxLightKeys[FX_LIGHT_KEYS][3] = {
    {500, -600, -300}, {-600, 300, 600}, {100, -800, -100}, {-400, 400, -700}, {600, -500, -500}, {290, -1000, 0},
};

Motion *fxKeyedMotion(const float (*points)[3], int count)
{
    Motion *motion = mot_Create();
    for (int i = 0; motion && i < count; i++) {
        const float key[MOTION_CHANNELS] = {points[i][0], points[i][1], points[i][2], 0, 0, 0, 1, 1, 1};
        mot_AddKey(motion, key, (float)(motion->keyCount * 100));
    }
    return motion;
}
