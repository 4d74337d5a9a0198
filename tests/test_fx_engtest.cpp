// The object layer: its pictures against golden hashes, and hostile values.
//
// The golden hashes are FNV-1a over the 240 rows of each frame. After a
// deliberate change to the picture, run (VANTOREL_PRODUCTION_TREE set as
// ctest sets it)
//     VANTOREL_UPDATE_GOLDEN=1 ./vantorel_effect_tests --gtest_filter=Engtest.*
// which prints the new hashes; VANTOREL_FX_PNG=prefix also writes the frames.

#include "effecthost.h"
#include "fx/engtest.h"
#include "fx/fx.h"
#include "render/bitmap.h"

static long litPixels(const uint32_t *frame)
{
    return std::count_if(frame, frame + FRAME_WIDTH * FRAME_HEIGHT, [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

TEST(Engtest, GoldenFramesStripesAndHostileValues)
{
    // A private copy of the objects: slot 1 is imported and converted in
    // every test process, never read from another process's conversion.
    ASSERT_TRUE(effectTestHost() && effectPrivateTree({"lwobj/blob3_mesh_hi.lobj", "lwobj/elude.obj",
                                                       "lwobj/fx02_glow.lobj", "lwobj/weird2.lobj"}) != "")
        << "no production tree (VANTOREL_PRODUCTION_TREE)";
    engtest_setup();
    testing::internal::CaptureStdout();
    engtest_setup();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the second setup does nothing";
    static const uint64_t golden[8] = {
        0xf3d2a1c420344361ull, 0x9e3347e0168661d8ull, 0x76aca70f7cd93b05ull, 0x8ef9a691076bd7d8ull,
        0x87d24e673fe5b220ull, 0xa3748602d5e1594eull, 0xff04b74ac0f3ea61ull, 0x567d6bc077c6a461ull,
    };
    for (int i = 0; i < 8; i++) {
        engtest_objectidx.value = (float)(i / 2) + 0.9f; // floor picks the slot
        uint32_t *frame = guardedFrame();
        engtest_render(frame, i % 2 ? 7.5f : 1.0f);
        EXPECT_GT(litPixels(frame), 10000) << i;
        EXPECT_TRUE(guardRowsIntact(frame));
        if (getenv("VANTOREL_FX_PNG"))
            writeFramePNG(getenv("VANTOREL_FX_PNG") + std::to_string(i) + ".png", frame);
        if (getenv("VANTOREL_UPDATE_GOLDEN"))
            printf("0x%016llxull,\n", (unsigned long long)frameHash(frame));
        else
            EXPECT_EQ(frameHash(frame), golden[i]) << "frame " << i << ": see the top of this file to regenerate";
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
        engtest_render(frame, v);
        EXPECT_TRUE(guardRowsIntact(frame)) << v;
        EXPECT_TRUE(v == 3.999f || litPixels(frame) == 0) << v; // no slot: every object hidden
    }
}
