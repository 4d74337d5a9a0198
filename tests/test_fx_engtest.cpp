// The object layer: its pictures against golden hashes, and hostile values.

#include "effecthost.h"
#include "fx/engtest.h"

static long litPixels(const uint32_t *frame)
{
    return std::count_if(frame, frame + FRAME_WIDTH * FRAME_HEIGHT, [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

TEST(Engtest, GoldenFramesStripesAndHostileValues)
{
    // The private tree: slot 1 is imported and converted in every test
    // process, never read from another process's conversion.
    ASSERT_NE(effectTestHost(), nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    EXPECT_EQ(captured([] { engtest_setup(effectContext()); }), "") << "a setup after the first does nothing";
    static const uint64_t golden[8] = {
        0xf3d2a1c420344361ull, 0x9e3347e0168661d8ull, 0x76aca70f7cd93b05ull, 0x8ef9a691076bd7d8ull,
        0x87d24e673fe5b220ull, 0xa3748602d5e1594eull, 0xff04b74ac0f3ea61ull, 0x567d6bc077c6a461ull,
    };
    for (int i = 0; i < 8; i++) {
        engtest_objectidx.value = (float)(i / 2) + 0.9f; // floor picks the slot
        uint32_t *frame = guardedFrame();
        engtest_render(effectContext(), frame, i % 2 ? 7.5f : 1.0f);
        EXPECT_GT(litPixels(frame), 10000) << "frame " << i;
        EXPECT_TRUE(guardRowsIntact(frame)) << "frame " << i;
        checkGoldenFrame(frame, golden[i], "engtest_" + std::to_string(i));
    }
    const uint32_t *stripes = (const uint32_t *)engtest_layer()->stripes->bitmap->pixels; // blurred, brightening downward
    EXPECT_EQ(stripes[100 * 256 + 131], 0xFF7F7F7Fu);
    EXPECT_EQ(stripes[10 * 256 + 253], 0xFF545454u);

    Cvar *vars[] = {&engtest_diffuse,   &engtest_zoom,           &engtest_camera,
                    &engtest_objectidx, &engtest_shading_primary, &engtest_shading_secondary};
    for (float v : {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -1.0f, 4.0f, 3.999f}) {
        for (Cvar *var : vars)
            var->value = var->vec[0] = var->vec[1] = var->vec[2] = var->vec[3] = v;
        uint32_t *frame = guardedFrame();
        engtest_render(effectContext(), frame, v);
        EXPECT_TRUE(guardRowsIntact(frame)) << v;
        if (v == 3.999f)
            continue;
        EXPECT_EQ(litPixels(frame), 0) << v; // no slot: every object hidden
    }
}
