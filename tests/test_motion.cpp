// Motion keyframes: key growth and its messages, the closed B-spline at the
// worked times, wrapping of negative and non-finite times, motions without
// keys, motions applied to objects. (The 2D Catmull-Rom segment draws the
// intro's curves: its golden frames hold it.)

#include "render/motion.h"
#include "testutil.h"

namespace {

using MotionPtr = std::unique_ptr<Motion, decltype(&mot_Free)>;

// A key whose channel c holds x * (c + 1), so that every channel is checked.
int addKey(Motion *motion, float x, float time = 0.0f)
{
    const float values[MOTION_CHANNELS] = {x, 2 * x, 3 * x, 4 * x, 5 * x, 6 * x, 7 * x, 8 * x, 9 * x};
    return mot_AddKey(motion, values, time);
}

testing::AssertionResult channelsAre(const Motion &motion, float x) // NaN fails too
{
    for (int c = 0; c < MOTION_CHANNELS; c++)
        if (const float want = x * (c + 1); !(std::fabs(motion.values[c] - want) <= 1e-5f * std::fabs(want)))
            return testing::AssertionFailure() << "channel " << c << " is " << motion.values[c] << ", not " << want;
    return testing::AssertionSuccess();
}

} // namespace

TEST(MotionKeys, GrowByTwentyFailSafelyAndTakeAtMostNineChannels)
{
    MotionPtr motion(mot_Create(), mot_Free);
    ASSERT_NE(motion, nullptr);
    EXPECT_EQ(std::make_pair(motion->keyCapacity, motion->keyInterval), std::make_pair(10, 100.0f));
    std::string out = captured([&] {
        for (int k = 0; k < 31; k++) // the capacity after each key (0 if refused): 10, from key 10 30, from 30 50
            EXPECT_EQ(addKey(motion.get(), k, 10.0f * k) ? motion->keyCapacity : 0, 10 + 20 * ((k + 10) / 20)) << k;
    });
    EXPECT_EQ(out, "") << "growing is silent";
    EXPECT_EQ(motion->keyCount, 31);
    for (int k : {0, 9, 10, 30}) {
        const MotionKey &key = motion->keys[k];
        EXPECT_EQ((std::array<float, 4>{key.value[0], key.value[8], key.weights[2], key.time}),
                  (std::array<float, 4>{(float)k, 9.0f * k, 1.0f, 10.0f * k})) << "key " << k;
    }
    EXPECT_EQ((std::array<float, 2>{motion->keys[31].value[0], motion->keys[49].time}), (std::array<float, 2>{}))
        << "new slots are zero-filled";

    // A record already at the largest array the module will make: growing
    // must fail before it touches the (stand-in) keys.
    MotionKey stand[1] = {};
    Motion full{};
    full.type = MOTION_KEYFRAMES, full.channelCount = MOTION_CHANNELS, full.keys = stand;
    full.keyCount = full.keyCapacity = (int32_t)(INT_MAX / sizeof(MotionKey)) - 10;
    out = captured([&] { EXPECT_EQ(addKey(&full, 1.0f), 0); });
    EXPECT_EQ(out, "[MOTION]: Not enough memory for new keyframes!\n[Motion]: Not enough memory to add new keyframe\n");
    EXPECT_EQ(std::make_pair(full.keys, full.keyCount), std::make_pair(stand, full.keyCapacity));

    // An inline record without an array: the first key makes one. Channels
    // beyond the count stay 0; a tenth would land on the key's time, and on
    // the record's channel count when evaluated.
    Motion hand{};
    hand.channelCount = 3, hand.keyInterval = 100.0f;
    const float values[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_NE(mot_AddKey(&hand, values, 5.0f), 0);
    EXPECT_EQ(hand.keyCapacity, 20);
    EXPECT_EQ(std::make_pair(hand.keys[0].value[2], hand.keys[0].value[3]), std::make_pair(3.0f, 0.0f));
    hand.channelCount = 12;
    mot_AddKey(&hand, values, 7.0f), mot_Evaluate(&hand, 0.0f);
    EXPECT_EQ(std::make_pair(hand.keys[1].value[8], hand.keys[1].time), std::make_pair(9.0f, 7.0f));
    EXPECT_EQ(hand.channelCount, 12);
    free(hand.keys);
}

TEST(MotionEvaluate, ClosedBSplineWrapsAndStaysWithinItsKeys)
{
    // Four keys 100 apart with channel 0 = 6, 12, -18, 30; key times play no part.
    MotionPtr motion(mot_Create(), mot_Free);
    for (float x : {6.0f, 12.0f, -18.0f, 30.0f})
        addKey(motion.get(), x, 1234.0f);
    // Time and channel 0: (k3 + 4 k0 + k1) / 6 at 0 and one loop later;
    // (k0 + 23 k1 + 23 k2 + k3) / 48 at 150; segment 1 starts at 100, segment 3
    // (k0 wrapping in as p3) at 300 and, wrapping back from the loop's end, at
    // -100; (k2 + 23 k3 + 23 k0 + k1) / 48 at -50; far back, ten thousand loops
    // on, a hair before 0 (rounding onto the loop's end); non-finite times play the start.
    const float cases[][2] = {{0.0f, 11.0f},     {400.0f, 11.0f}, {150.0f, -2.125f},     {100.0f, 6.0f},
                              {300.0f, 18.0f},   {-100.0f, 18.0f}, {-50.0f, 17.125f},    {-1e9f, 11.0f},
                              {4000150.0f, -2.125f}, {-1e-30f, 11.0f}, {NAN, 11.0f}, {INFINITY, 11.0f}, {-INFINITY, 11.0f}};
    for (const auto &c : cases) {
        mot_Evaluate(motion.get(), 99.0f), mot_Evaluate(motion.get(), c[0]); // somewhere else first
        EXPECT_TRUE(channelsAre(*motion, c[1])) << "time " << c[0];
    }
    // The worked example: x = 6 between neighbours at 0 gives 4 at its segment.
    MotionPtr bump(mot_Create(), mot_Free);
    for (float x : {0.0f, 6.0f, 0.0f, 0.0f})
        addKey(bump.get(), x);
    mot_Evaluate(bump.get(), 100.0f);
    EXPECT_FLOAT_EQ(bump->values[0], 4.0f);
    // The weights are non-negative and sum to 6: every value lies between the
    // smallest and largest key, at any time, whatever its sign.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f), time(-1e6f, 1e6f);
    for (int round = 0; round < 50; round++) {
        MotionPtr motion(mot_Create(), mot_Free);
        float lo = 1e9f, hi = -1e9f;
        for (int k = 0; k <= round % 13; k++) {
            const float x = value(rng);
            addKey(motion.get(), x), lo = std::min(lo, x), hi = std::max(hi, x);
        }
        for (int i = 0; i < 40; i++) {
            mot_Evaluate(motion.get(), time(rng));
            ASSERT_GE(motion->values[0], lo - 1e-3f) << round << ", " << i;
            ASSERT_LE(motion->values[0], hi + 1e-3f) << round << ", " << i;
        }
    }
}

TEST(MotionEvaluate, SmallDegenerateAndAppliedMotions)
{
    MotionPtr motion(mot_Create(), mot_Free);
    for (int c = 0; c < MOTION_CHANNELS; c++)
        motion->values[c] = 7.0f * (c + 1);
    mot_Evaluate(motion.get(), 50.0f);
    EXPECT_TRUE(channelsAre(*motion, 7.0f)) << "no keys: left as it was";
    // Applied: no motion moves nothing; a keyless one is copied as it stands,
    // scale only for scaled meshes.
    Object mesh{};
    obj_ApplyMotion(&mesh, 5.0f);
    mesh.motion = motion.get();
    obj_ApplyMotion(&mesh, 50.0f);
    const float unscaled = mesh.scale[2];
    mesh.type = OBJ_MESH_SCALED, obj_ApplyMotion(&mesh, 50.0f);
    EXPECT_EQ(std::make_tuple(mesh.position[0], mesh.rotation[0], mesh.scale[2], unscaled),
              std::make_tuple(7.0f, 28.0f, 63.0f, 0.0f)) << "channels 0, 3 and 8, and 8 unscaled";
    addKey(motion.get(), 5.0f);
    mot_Evaluate(motion.get(), 123.0f);
    EXPECT_TRUE(channelsAre(*motion, 5.0f)) << "one key is the whole path";
    addKey(motion.get(), 11.0f), obj_ApplyMotion(&mesh, 0.0f);
    EXPECT_TRUE(channelsAre(*motion, 7.0f)) << "two keys: (k1 + 4 k0 + k1) / 6";
    EXPECT_EQ(mesh.position[2], motion->values[2]);
    motion->type = 0, obj_ApplyMotion(&mesh, 100.0f); // not a keyframe motion: copied, never evaluated
    EXPECT_TRUE(channelsAre(*motion, 7.0f));
    EXPECT_EQ(mesh.position[0], 7.0f);
    motion->type = MOTION_KEYFRAMES;
    for (float interval : {0.0f, -100.0f, NAN, INFINITY}) {
        motion->keyInterval = interval;
        mot_Evaluate(motion.get(), 10.0f);
        EXPECT_TRUE(channelsAre(*motion, 7.0f)) << "no spacing " << interval << ": left as it was";
    }
}
