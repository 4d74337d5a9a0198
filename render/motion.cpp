// Keyframed motion: creating motions, appending keys and evaluating the
// closed uniform cubic B-spline through them; the 2D Catmull-Rom segment
// effects use for their paths.
#include "render/motion.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib> // Required for: calloc(), free()
#include <cstring> // Required for: memcpy()

#include "core/common.h"

// The key array's byte size must stay a positive int, as allocAligned's do.
static const int32_t MAX_KEYS = (int32_t)(INT_MAX / sizeof(MotionKey));
static const float SIXTH = 0.16666667f;

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

// Channels an evaluation or a new key may touch: a hand-built record's count
// is kept within the nine a key holds.
static int usedChannels(const Motion *motion)
{
    int count = motion->channelCount;
    if (count < 0)
        return 0;
    return count < MOTION_CHANNELS ? count : MOTION_CHANNELS;
}

// Replaces a full key array by a zero-filled one 20 keys larger. 0 when the
// larger array cannot be had; the motion then keeps the keys it has.
static int growKeys(Motion *motion)
{
    int32_t capacity = motion->keys ? motion->keyCapacity : 0;
    if (capacity < motion->keyCount)
        capacity = motion->keyCount;
    MotionKey *grown = nullptr;
    if (capacity <= MAX_KEYS - MOTION_KEY_GROWTH) {
        capacity += MOTION_KEY_GROWTH;
        grown = (MotionKey *)calloc((size_t)capacity, sizeof(MotionKey));
    }
    if (!grown) {
        printf("[MOTION]: Not enough memory for new keyframes!\n");
        return 0;
    }
    if (motion->keyCount > 0)
        memcpy(grown, motion->keys, (size_t)motion->keyCount * sizeof(MotionKey));
    free(motion->keys);
    motion->keys = grown;
    motion->keyCapacity = capacity;
    return 1;
}

// ---------------------------------------------------------------------------
// Keyframes
// ---------------------------------------------------------------------------

Motion *mot_Create(void)
{
    Motion *motion = (Motion *)calloc(1, sizeof(Motion));
    MotionKey *keys = (MotionKey *)calloc(MOTION_INITIAL_KEYS, sizeof(MotionKey));
    if (!motion || !keys) {
        LOG_TAGGED("no memory for a motion");
        free(motion);
        free(keys);
        return nullptr;
    }
    motion->type = MOTION_KEYFRAMES;
    motion->channelCount = MOTION_CHANNELS;
    motion->keyCount = 0;
    motion->keyCapacity = MOTION_INITIAL_KEYS;
    motion->keys = keys;
    motion->scheme = MOTION_BSPLINE;
    motion->keyInterval = 100.0f;
    return motion;
}

void mot_Free(Motion *motion)
{
    if (!motion)
        return;
    free(motion->keys);
    free(motion);
}

int mot_AddKey(Motion *motion, const float *values, float time)
{
    // A record without a key array has no keys, whatever its count says.
    if (!motion->keys || motion->keyCount < 0)
        motion->keyCount = 0;
    if (!motion->keys || motion->keyCount >= motion->keyCapacity) {
        if (!growKeys(motion)) {
            printf("[Motion]: Not enough memory to add new keyframe\n");
            return 0;
        }
    }
    MotionKey *key = &motion->keys[motion->keyCount];
    const int channels = usedChannels(motion);
    for (int c = 0; c < channels; c++)
        key->value[c] = values ? values[c] : 0.0f;
    key->time = time;
    key->weights[0] = key->weights[1] = key->weights[2] = 1.0f;
    key->reserved = 0;
    motion->keyCount++;
    return 1;
}

void mot_Evaluate(Motion *motion, float time)
{
    const int n = motion->keyCount;
    const double interval = motion->keyInterval;
    if (n <= 0 || !motion->keys)
        return; // no segment to be on
    if (!(interval > 0.0) || !std::isfinite(interval))
        return; // no spacing between keys: the loop has no length

    // Floored modulo: times before 0 count back from the end of the loop, so
    // the segment is never before key 0. A NaN or infinite time has no place
    // in the loop and plays its start.
    const double loop = n * interval;
    double wrapped = std::isfinite(time) ? std::fmod((double)time, loop) : 0.0;
    if (wrapped < 0.0)
        wrapped += loop;
    const double segment = std::floor(wrapped / interval);
    // Rounding may put a time a hair before the loop's end on segment n; it
    // is key 0's segment, and f is kept within 0..1.
    const int i = (int)((int64_t)segment % n);
    float f = (float)((wrapped - segment * interval) / interval);
    f = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);

    const float *p0 = motion->keys[i == 0 ? n - 1 : i - 1].value;
    const float *p1 = motion->keys[i].value;
    const float *p2 = motion->keys[(i + 1) % n].value;
    const float *p3 = motion->keys[(i + 2) % n].value;

    const float f2 = f * f, f3 = f2 * f;
    const float w0 = 1.0f - 3.0f * f + 3.0f * f2 - f3;
    const float w1 = 4.0f - 6.0f * f2 + 3.0f * f3;
    const float w2 = 1.0f + 3.0f * f + 3.0f * f2 - 3.0f * f3;
    const float w3 = f3;
    const int channels = usedChannels(motion);
    for (int c = 0; c < channels; c++)
        motion->values[c] = (p0[c] * w0 + p1[c] * w1 + p2[c] * w2 + p3[c] * w3) * SIXTH;
}

// ---------------------------------------------------------------------------
// 2D paths
// ---------------------------------------------------------------------------

void spline_CatmullRom2D(const float p0[2], const float p1[2], const float p2[2], const float p3[2], float out[2],
                         float u)
{
    const float u2 = u * u, u3 = u2 * u;
    const float h1 = 2.0f * u3 - 3.0f * u2 + 1.0f; // p1
    const float h2 = 3.0f * u2 - 2.0f * u3;        // p2
    const float h3 = u3 - 2.0f * u2 + u;           // tangent at p1
    const float h4 = u3 - u2;                      // tangent at p2
    for (int k = 0; k < 2; k++) {
        out[k] = p1[k] * h1 + p2[k] * h2 + (p2[k] - p0[k]) * 0.5f * h3 + (p3[k] - p1[k]) * 0.5f * h4;
    }
}
