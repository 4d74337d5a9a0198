// The intro's own pieces beyond the effect interface of fx/fx.h: the shard
// records and the two drawing passes that run after the scene has projected
// the stars and the shards. The effect uses them every frame; the tests drive
// them directly.
#pragma once

#include <cstdint>

struct Object;

enum {
    INTRO_STARS = 1024,
    INTRO_SHARDS = 64,
    INTRO_SHARD_POINTS = 12,
    INTRO_SHARD_SEGMENTS = INTRO_SHARD_POINTS - 3, // Catmull-Rom pieces along a shard
};

// One shard: its path (built once at setup), the object whose vertices carry
// the path through the scene, and the curve parameter at which it starts.
struct IntroShard {
    float points[INTRO_SHARD_POINTS][3];
    Object *object;
    float phase; // 0..12
};

// How the curves are coloured this frame, from the intro's variables.
struct IntroCurveStyle {
    uint32_t base;    // 0xAARRGGBB of intro_diffuse
    uint32_t band;    // 0xAARRGGBB of intro_shadecolor
    float stripe1;    // curve parameter at the centre of each band
    float stripe2;
    float halfWidth;  // bands reach this far on either side of their centre
};

// Shard 0..63 after intro_setup; null otherwise.
const IntroShard *intro_shard(int index);

// Adds one star at the 24.8 screen position to a 320 x 240 frame, spread over
// the pixel and its right, lower and lower-right neighbours by the sub-pixel
// weights. Neighbours outside the frame are left out.
void intro_splatStar(uint32_t *frame, int32_t sx, int32_t sy);

// Draws the part of the shard's curve grown by time into the frame, through
// the screen positions of its object's projected vertices. Returns the number
// of line pieces drawn.
int intro_drawCurve(uint32_t *frame, const IntroShard *shard, const IntroCurveStyle *style, float time);

// The colour of the curve at parameter u: the base colour, blended toward the
// band colour near either band centre.
uint32_t intro_curveColour(const IntroCurveStyle *style, float u);
