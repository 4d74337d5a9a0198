// The intro after the program's start-up: golden frames, shards, curve colours
// and stars, hostile values.

#include "cvar/cvar.h"
#include "effecthost.h"
#include "fx/intro.h"
#include "host/screen.h"

TEST(IntroEffect, GoldenFramesItsTimeAndHostileValues)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    uint32_t *frame = s->buffer0;
    const struct { float t; uint64_t hash; } golden[] = { // at 24 every shard has grown
        {3.0f, 0x5ca1e06c67d869b0ull}, {9.0f, 0x92a4fad9162bb3c1ull}, {15.0f, 0x175c691ceef21140ull},
        {24.0f, 0x3a44a30c00e09396ull}};
    for (const auto &g : golden) {
        std::fill_n(frame, 320 * 240, 0u);
        intro_render(effectContext(), frame, g.t);
        EXPECT_EQ(CvarFind("intro_time")->value, g.t) << "at " << g.t;
        checkGoldenFrame(frame, g.hash, "intro_t" + std::to_string((int)g.t));
    }
    expectHostileFramesInside("intro_", intro_render, frame, {5.0f, 21.0f});
}

TEST(IntroEffect, ShardsGrowWithTimeAndStarsSplatWithinTheFrame)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    uint32_t *frame = s->buffer0;
    CvarFind("intro_spread")->value = 1.0f;
    CvarFind("intro_angle_y")->value = 10.0f;
    intro_render(effectContext(), frame, 0.0f);
    EXPECT_FLOAT_EQ(intro_shard(63)->object->rotation[1], 190.0f); // the fan spans 180 degrees
    CvarFind("intro_spread")->value = 0.0f;
    intro_render(effectContext(), frame, 0.0f);
    EXPECT_FLOAT_EQ(intro_shard(63)->object->rotation[1], 10.0f);

    const IntroShard *shard = intro_shard(0);
    const IntroCurveStyle style = {0xFF102030u, 0xFFF0E0D0u, 2.0f, 20.0f, 1.0f};
    EXPECT_EQ(intro_drawCurve(frame, shard, &style, shard->phase - 0.01f), 0); // not started yet
    EXPECT_EQ(intro_drawCurve(frame, shard, &style, shard->phase + 9.0f), 127); // nine segments in steps of 0.07
    EXPECT_EQ(intro_drawCurve(frame, shard, &style, 1e30f), 127);
    EXPECT_EQ(intro_curveColour(&style, 2.0f), 0xFFF0E0D0u); // band centre
    EXPECT_EQ(intro_curveColour(&style, 2.5f), 0xFF808080u); // half way
    EXPECT_EQ(intro_curveColour(&style, 3.0f), 0xFF102030u); // band edge

    // A star on a pixel corner lights that pixel alone, by 79; one on the
    // frame's last pixel loses its right and lower parts.
    std::fill_n(frame, 320 * 240, 0xFF000000u);
    markGuardRows(frame);
    intro_splatStar(frame, 10 * 256, 20 * 256);
    EXPECT_EQ(frame[20 * 320 + 10], 0xFF4F4F4Fu);
    for (int dark : {20 * 320 + 11, 21 * 320 + 10, 21 * 320 + 11})
        EXPECT_EQ(frame[dark], 0xFF000000u) << "pixel " << dark;
    intro_splatStar(frame, 319 * 256 + 128, 239 * 256 + 128);
    EXPECT_EQ(frame[239 * 320 + 319], 0xFF131313u);
    EXPECT_TRUE(guardRowsIntact(frame));
}
