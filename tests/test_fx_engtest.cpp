// The object layer: its pictures against golden hashes, what a render takes
// from the variables, and hostile values.
//
// The golden hashes are FNV-1a over the 240 rows of each frame. After a
// deliberate change to the picture, run (VANTOREL_PRODUCTION_TREE set as
// ctest sets it)
//     VANTOREL_UPDATE_GOLDEN=1 ./vantorel_effect_tests --gtest_filter=Engtest.*
// which prints the new table; VANTOREL_FX_PNG=prefix also writes the frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "assettree.h"
#include "effecthost.h"
#include "fx/engtest.h"
#include "fx/fx.h"
#include "host/screen.h"
#include "render/motion.h"
#include "render/object.h"

namespace {

// The layer over a private copy of its objects: slot 1 is imported and
// converted in every test process, never read from another process's copy.
const EngtestLayer *layerOnce(void)
{
    static bool ready = effectTestHost() &&
                        effectPrivateTree({"lwobj/blob3_mesh_hi.lobj", "lwobj/elude.obj", "lwobj/fx02_glow.lobj",
                                           "lwobj/weird2.lobj"}) != "";
    if (!ready)
        return nullptr;
    engtest_setup();
    return engtest_layer();
}

// Frame buffer 0 cleared, with a sentinel in the guard rows on both sides.
uint32_t *guardedFrame(void)
{
    uint32_t *frame = effectTestHost()->buffer0;
    std::fill(frame - FRAME_GUARD_PIXELS, frame + FRAME_WIDTH * FRAME_HEIGHT + FRAME_GUARD_PIXELS, 0xDEADBEEFu);
    std::fill(frame, frame + FRAME_WIDTH * FRAME_HEIGHT, 0u);
    return frame;
}
bool guardsIntact(const uint32_t *frame)
{
    auto bad = [](uint32_t p) { return p != 0xDEADBEEFu; };
    return std::none_of(frame - FRAME_GUARD_PIXELS, frame, bad) &&
           std::none_of(frame + FRAME_WIDTH * FRAME_HEIGHT, frame + FRAME_WIDTH * FRAME_HEIGHT + FRAME_GUARD_PIXELS, bad);
}
long litPixels(const uint32_t *frame)
{
    return std::count_if(frame, frame + FRAME_WIDTH * FRAME_HEIGHT, [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

} // namespace

TEST(Engtest, GoldenFramesOfEachSlotAndTheStripes)
{
    const EngtestLayer *layer = layerOnce();
    ASSERT_NE(layer, nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    static const uint64_t golden[8] = {
        0xf3d2a1c420344361ull, 0x9e3347e0168661d8ull, 0x76aca70f7cd93b05ull, 0x8ef9a691076bd7d8ull,
        0x87d24e673fe5b220ull, 0xa3748602d5e1594eull, 0xff04b74ac0f3ea61ull, 0x567d6bc077c6a461ull,
    };
    const char *png = getenv("VANTOREL_FX_PNG");
    for (int i = 0; i < 8; i++) {
        engtest_objectidx.value = (float)(i / 2) + 0.9f; // floor picks the slot
        uint32_t *frame = guardedFrame();
        engtest_render(frame, i % 2 ? 7.5f : 1.0f);
        EXPECT_EQ(layer->objects[i / 2]->hidden, 0);
        EXPECT_GT(litPixels(frame), 10000) << i;
        EXPECT_TRUE(guardsIntact(frame));
        if (png)
            writeFramePNG(png + std::to_string(i) + ".png", frame);
        if (getenv("VANTOREL_UPDATE_GOLDEN"))
            printf("0x%016llxull,\n", (unsigned long long)frameHash(frame));
        else
            EXPECT_EQ(frameHash(frame), golden[i]) << "frame " << i << ": see the top of this file to regenerate";
    }
    // A hidden slot keeps the rotation it was last given.
    EXPECT_EQ(layer->objects[0]->rotation[0], 375.0f);
    EXPECT_EQ(layer->camera->motion->keyCount, 10);
    EXPECT_EQ(layer->light->motion->keys[5].time, 500.0f);
    // Blurred stripes on the right half only, opaque everywhere.
    const uint32_t *stripes = (const uint32_t *)layer->stripes->bitmap->pixels;
    EXPECT_EQ(stripes[100 * 256 + 129], 0xFF000000u);
    EXPECT_EQ(stripes[100 * 256 + 131], 0xFF7F7F7Fu);
    EXPECT_EQ(stripes[100 * 256 + 133], 0xFFFFFFFFu);
    EXPECT_EQ(stripes[10 * 256 + 253], 0xFF545454u);
}

TEST(Engtest, HostileValuesDrawNothingOutsideTheFrameAndSetupRunsOnce)
{
    const EngtestLayer *layer = layerOnce();
    ASSERT_NE(layer, nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    testing::internal::CaptureStdout();
    engtest_setup();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    const float hostile[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -1.0f, 4.0f, 3.999f};
    Cvar *vars[] = {&engtest_diffuse, &engtest_zoom, &engtest_camera, &engtest_objectidx,
                    &engtest_shading_primary, &engtest_shading_secondary};
    for (float v : hostile) {
        for (Cvar *var : vars) {
            var->value = v;
            std::fill(var->vec, var->vec + 4, v);
        }
        uint32_t *frame = guardedFrame();
        engtest_render(frame, v);
        EXPECT_TRUE(guardsIntact(frame)) << v;
        if (!(v >= 0.0f && v < 4.0f)) {
            EXPECT_EQ(litPixels(frame), 0) << v; // no slot: every object hidden
        }
    }
}
