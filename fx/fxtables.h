// What the effects share: lookup tables so that no per-pixel code needs
// trigonometry or division, the additive streak, and the camera and light
// paths of the object layer's family of effects.
#pragma once

#include <cstdint>

struct Motion;

enum {
    SIN_TABLE_SIZE = 4096,   // one full turn
    RECIP_TABLE_SIZE = 5120, // longest line drawn, in sixteenths of a pixel
};

extern float sin_table[SIN_TABLE_SIZE];       // sin(i * 2pi / 4096)
extern uint32_t recip_table[RECIP_TABLE_SIZE]; // 65536 / i, entry 0 = 0

void sinTableBuild(void);
// Adds colour (per byte, saturating) along the line between two points given
// in sixteenths of a pixel on a 320-pixel stride: one pixel per row (steep)
// or per column (flat), the minor axis stepped in 16.16 through recip_table.
// !!! callers keep both ends inside their picture (and the ends less than
// RECIP_TABLE_SIZE apart): every pixel touched lies between the ends' rows
// and columns !!!
void fxAddStreak(uint32_t *pixels, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void recipTableBuild(void);

// Key positions of the camera and light paths the object layer, the voxel
// landscape and the particles key their motions with (the particles' camera
// looks at the light path's point).
enum { FX_CAMERA_KEYS = 10, FX_LIGHT_KEYS = 6 };
extern const float fxCameraKeys[FX_CAMERA_KEYS][3];
extern const float fxLightKeys[FX_LIGHT_KEYS][3];
// A motion through the points, rotation 0 and scale 1, keyed at times 0, 100,
// 200, ...; null when no memory is left.
Motion *fxKeyedMotion(const float (*points)[3], int count);
