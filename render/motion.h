// Keyframed motion: nine float channels (position, rotation in degrees,
// scale) keyed evenly in time and evaluated as a closed uniform cubic
// B-spline. Objects copy the evaluated channels through obj_ApplyMotion.
#pragma once

#include <cstdint>

enum {
    MOTION_KEYFRAMES = 5,  // Motion.type: the only kind there is
    MOTION_CHANNELS = 9,   // x, y, z, rotation x, y, z, scale x, y, z
    MOTION_BSPLINE = 1,    // Motion.scheme: closed uniform cubic B-spline
};

struct MotionKey {
    float value[MOTION_CHANNELS];
    float time;        // stored, not used by the evaluation
    float weights[3];  // 1 each; unread
    int32_t reserved;  // 0; unread
};

struct Motion {
    int32_t type;                  // MOTION_KEYFRAMES
    float values[MOTION_CHANNELS]; // result of the last evaluation
    int32_t channelCount;          // MOTION_CHANNELS
    int32_t keyCount;
    int32_t keyCapacity;
    MotionKey *keys;
    int32_t scheme;                // MOTION_BSPLINE
    float keyInterval;             // time between keys; 100 at creation
};

// ---------------------------------------------------------------------------
// Keyframes
// ---------------------------------------------------------------------------
// Effects that build a Motion inline set the values mot_Create sets and take
// the key array from calloc/malloc (or leave it null with capacity 0), since
// mot_AddKey frees it when the array grows.
enum {
    MOTION_INITIAL_KEYS = 10, // capacity at creation
    MOTION_KEY_GROWTH = 20,   // keys added each time the array is full
};

// A zero-filled keyframe motion with room for 10 keys and keys 100 apart;
// null with a message when memory is exhausted.
Motion *mot_Create(void);
// Releases a motion and its keys (the demo keeps its motions; tests and
// failure paths use this). Null is ignored.
void mot_Free(Motion *motion);
// Appends a key of the first channelCount values (at most 9). A full array
// grows by 20 keys first; when that fails the key is not added. 1 when added.
int mot_AddKey(Motion *motion, const float *values, float time);
// values = the closed B-spline at time; the path repeats every
// keyCount * keyInterval. Times before 0 wrap into the loop like later ones,
// and a NaN or infinite time counts as 0. A motion without keys or with an
// interval that is not a positive finite number keeps its values.
void mot_Evaluate(Motion *motion, float time);

// ---------------------------------------------------------------------------
// 2D paths
// ---------------------------------------------------------------------------
// out = the point at u (0..1) on the Catmull-Rom segment from p1 to p2.
void spline_CatmullRom2D(const float p0[2], const float p1[2], const float p2[2], const float p3[2], float out[2],
                         float u);
