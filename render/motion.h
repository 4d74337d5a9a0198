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
