// Motion keyframes: creation, key growth and its messages, the closed B-spline
// at the worked times, wrapping of negative and non-finite times, motions
// without keys, and the 2D Catmull-Rom segment.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "render/motion.h"
#include "render/object.h"

namespace {

struct MotionDeleter {
    void operator()(Motion *motion) const { mot_Free(motion); }
};
using MotionPtr = std::unique_ptr<Motion, MotionDeleter>;

// A key whose channel c holds x * (c + 1), so that every channel is checked.
void addKey(Motion *motion, float x, float time = 0.0f)
{
    float values[MOTION_CHANNELS];
    for (int c = 0; c < MOTION_CHANNELS; c++)
        values[c] = x * (c + 1);
    ASSERT_EQ(mot_AddKey(motion, values, time), 1);
}

// Four keys 100 apart with channel 0 = 6, 12, -18, 30.
MotionPtr fourKeys()
{
    MotionPtr motion(mot_Create());
    for (float x : {6.0f, 12.0f, -18.0f, 30.0f})
        addKey(motion.get(), x, 1234.0f); // key times play no part
    return motion;
}

void expectChannels(const Motion &motion, float x, const char *what)
{
    for (int c = 0; c < MOTION_CHANNELS; c++)
        EXPECT_FLOAT_EQ(motion.values[c], x * (c + 1)) << what << ", channel " << c;
}

} // namespace

TEST(MotionKeys, CreateAndGrowByTwentyKeepingTheKeys)
{
    MotionPtr motion(mot_Create());
    ASSERT_NE(motion, nullptr);
    EXPECT_EQ(motion->type, 5);
    EXPECT_EQ(motion->channelCount, 9);
    EXPECT_EQ(motion->scheme, 1);
    EXPECT_EQ(motion->keyInterval, 100.0f);
    EXPECT_EQ(motion->keyCount, 0);
    EXPECT_EQ(motion->keyCapacity, 10);

    testing::internal::CaptureStdout();
    for (int k = 0; k < 10; k++)
        addKey(motion.get(), (float)k, 10.0f * k);
    EXPECT_EQ(motion->keyCapacity, 10) << "ten keys fit the first array";
    addKey(motion.get(), 10.0f, 100.0f);
    EXPECT_EQ(motion->keyCapacity, 30);
    for (int k = 11; k < 31; k++)
        addKey(motion.get(), (float)k);
    EXPECT_EQ(motion->keyCapacity, 50) << "the 31st key grows it again";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "growing is silent";

    EXPECT_EQ(motion->keyCount, 31);
    for (int k : {0, 9, 10, 30}) {
        const MotionKey &key = motion->keys[k];
        EXPECT_EQ(key.value[0], (float)k);
        EXPECT_EQ(key.value[8], 9.0f * k);
        EXPECT_EQ(key.weights[0], 1.0f);
        EXPECT_EQ(key.weights[2], 1.0f);
        EXPECT_EQ(key.reserved, 0);
    }
    EXPECT_EQ(motion->keys[9].time, 90.0f);
    EXPECT_EQ(motion->keys[31].value[0], 0.0f) << "new slots are zero-filled";
    EXPECT_EQ(motion->keys[49].time, 0.0f);
}

TEST(MotionKeys, FailedGrowthLogsBothLinesAndKeepsTheKeys)
{
    // A record already at the largest array the module will make: growing
    // must fail before it touches the (stand-in) keys.
    MotionKey stand[1] = {};
    Motion motion{};
    motion.type = MOTION_KEYFRAMES;
    motion.channelCount = MOTION_CHANNELS;
    motion.keys = stand;
    motion.keyCount = motion.keyCapacity = (int32_t)(INT_MAX / sizeof(MotionKey)) - 10;
    const float values[MOTION_CHANNELS] = {1};
    testing::internal::CaptureStdout();
    EXPECT_EQ(mot_AddKey(&motion, values, 0.0f), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[MOTION]: Not enough memory for new keyframes!\n"
              "[Motion]: Not enough memory to add new keyframe\n");
    EXPECT_EQ(motion.keys, stand);
    EXPECT_EQ(motion.keyCount, (int32_t)(INT_MAX / sizeof(MotionKey)) - 10);
}

TEST(MotionKeys, HandBuiltRecordsTakeAtMostNineChannels)
{
    Motion motion{}; // inline record without an array: the first key makes one
    motion.channelCount = 3;
    const float values[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(mot_AddKey(&motion, values, 5.0f), 1);
    EXPECT_EQ(motion.keyCapacity, 20);
    EXPECT_EQ(motion.keys[0].value[2], 3.0f);
    EXPECT_EQ(motion.keys[0].value[3], 0.0f) << "channels beyond the count stay 0";

    motion.channelCount = 12;
    EXPECT_EQ(mot_AddKey(&motion, values, 7.0f), 1);
    EXPECT_EQ(motion.keys[1].value[8], 9.0f);
    EXPECT_EQ(motion.keys[1].time, 7.0f) << "a tenth channel would have landed on the time";
    free(motion.keys);
}

TEST(MotionEvaluate, ClosedBSplineAtTheWorkedAndWrappedTimes)
{
    MotionPtr motion = fourKeys();
    struct Case {
        float time, x;
        const char *what;
    } cases[] = {
        {0.0f, 11.0f, "(k3 + 4 k0 + k1) / 6"},
        {400.0f, 11.0f, "one loop later"},
        {150.0f, -2.125f, "(k0 + 23 k1 + 23 k2 + k3) / 48"},
        {100.0f, 6.0f, "segment 1 start"},
        {300.0f, 18.0f, "segment 3 start: k0 wraps in as p3"},
        {-100.0f, 18.0f, "negative times wrap back from the loop's end"},
        {-50.0f, 17.125f, "(k2 + 23 k3 + 23 k0 + k1) / 48"},
        {-400.0f, 11.0f, "a whole loop back"},
        {-1e9f, 11.0f, "far back"},
        {4000150.0f, -2.125f, "ten thousand loops on"},
        {-1e-30f, 11.0f, "a hair before 0 rounds onto the loop's end"},
        {std::numeric_limits<float>::quiet_NaN(), 11.0f, "NaN plays the start"},
        {std::numeric_limits<float>::infinity(), 11.0f, "so does infinity"},
        {-std::numeric_limits<float>::infinity(), 11.0f, "either way"},
    };
    for (const Case &c : cases) {
        mot_Evaluate(motion.get(), 99.0f); // somewhere else first
        mot_Evaluate(motion.get(), c.time);
        expectChannels(*motion, c.x, c.what);
    }

    mot_Evaluate(motion.get(), -0.001f); // just before the seam: continuous with 0
    EXPECT_NEAR(motion->values[0], 11.0f, 1e-3f);
    mot_Evaluate(motion.get(), 199.999f);
    EXPECT_NEAR(motion->values[0], (12.0f + 4 * -18.0f + 30.0f) / 6.0f, 1e-3f);
}

TEST(MotionEvaluate, SmallAndDegenerateMotions)
{
    MotionPtr motion(mot_Create());
    for (int c = 0; c < MOTION_CHANNELS; c++)
        motion->values[c] = 7.0f * (c + 1);
    mot_Evaluate(motion.get(), 50.0f);
    expectChannels(*motion, 7.0f, "no keys: left as it was");

    Object mesh{};
    mesh.type = OBJ_MESH_SCALED;
    mesh.motion = motion.get();
    obj_ApplyMotion(&mesh, 50.0f);
    EXPECT_EQ(mesh.position[0], 7.0f) << "a keyless motion is copied as it stands";
    EXPECT_EQ(mesh.scale[2], 63.0f);

    addKey(motion.get(), 5.0f);
    mot_Evaluate(motion.get(), 123.0f);
    expectChannels(*motion, 5.0f, "one key is the whole path");

    addKey(motion.get(), 11.0f);
    mot_Evaluate(motion.get(), 0.0f);
    expectChannels(*motion, 7.0f, "two keys: (k1 + 4 k0 + k1) / 6");

    for (float interval : {0.0f, -100.0f, std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity()}) {
        motion->keyInterval = interval;
        mot_Evaluate(motion.get(), 10.0f);
        expectChannels(*motion, 7.0f, "no spacing: left as it was");
    }

    // The worked example: x = 6 between neighbours at 0 gives 4 at its segment.
    MotionPtr bump(mot_Create());
    for (float x : {0.0f, 6.0f, 0.0f, 0.0f})
        addKey(bump.get(), x);
    mot_Evaluate(bump.get(), 100.0f);
    EXPECT_FLOAT_EQ(bump->values[0], 4.0f);
}

TEST(MotionEvaluate, RandomPathsStayWithinTheirKeys)
{
    // The weights are non-negative and sum to 6: every value lies between the
    // smallest and largest key, at any time, whatever its sign.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f), time(-1e6f, 1e6f);
    for (int round = 0; round < 50; round++) {
        MotionPtr motion(mot_Create());
        const int n = 1 + round % 13;
        float lo = 1e9f, hi = -1e9f;
        for (int k = 0; k < n; k++) {
            float x = value(rng);
            addKey(motion.get(), x);
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        for (int i = 0; i < 40; i++) {
            float t = time(rng);
            mot_Evaluate(motion.get(), t);
            EXPECT_GE(motion->values[0], lo - 1e-3f) << "time " << t;
            EXPECT_LE(motion->values[0], hi + 1e-3f) << "time " << t;
        }
    }
}

TEST(MotionCatmullRom, PassesItsEndsAndFollowsTheTangents)
{
    const float p0[2] = {0, 0}, p1[2] = {1, 2}, p2[2] = {3, 3}, p3[2] = {4, 7};
    struct Case {
        float u, x, y;
    } cases[] = {
        {0.0f, 1.0f, 2.0f},
        {1.0f, 3.0f, 3.0f},
        {0.5f, 2.0f, 2.375f},
        {0.25f, 1.453125f, 2.25f},
    };
    for (const Case &c : cases) {
        float out[2];
        spline_CatmullRom2D(p0, p1, p2, p3, out, c.u);
        EXPECT_FLOAT_EQ(out[0], c.x) << "u " << c.u;
        EXPECT_FLOAT_EQ(out[1], c.y) << "u " << c.u;
    }

    // Evenly spaced points on a line give the line itself.
    const float l0[2] = {0, 0}, l1[2] = {1, -2}, l2[2] = {2, -4}, l3[2] = {3, -6};
    for (float u = 0.0f; u <= 1.0f; u += 0.125f) {
        float out[2];
        spline_CatmullRom2D(l0, l1, l2, l3, out, u);
        EXPECT_FLOAT_EQ(out[0], 1.0f + u);
        EXPECT_FLOAT_EQ(out[1], -2.0f - 2.0f * u);
    }
}
