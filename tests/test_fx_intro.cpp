// The intro in the production's tree: golden frames, the shard and star edge
// cases, and hostile variables.
// Golden hashes: review the PNGs written to the test temp directory
// (intro_t*.png), then take the new values from the failure messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "effecthost.h"
#include "fx/fx.h"
#include "fx/intro.h"
#include "host/common.h"
#include "host/screen.h"
#include "render/object.h"

namespace {

uint32_t *introFrame()
{
    Screen *s = effectTestHost();
    if (!s)
        return nullptr;
    static bool once = [] {
        vt::srand(20240601);
        intro_setup();
        CvarLoad();
        intro_enableTimeCopy();
        return true;
    }();
    (void)once;
    return s->buffer0;
}

const char *const kIntroVars[] = {"intro_diffuse", "intro_shadecolor", "intro_zoom", "intro_time",
                                  "intro_shading_stripe1", "intro_shading_stripe2", "intro_shading_stripewidth",
                                  "intro_spread", "intro_angle_x", "intro_angle_y"};

} // namespace

TEST(IntroEffect, RegistersItsVariablesAndDrawsTheGoldenFrames)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    uint32_t *frame = introFrame();
    expectCatalogGroup("intro.vars", intro_tracked);

    const struct {
        float t;
        uint64_t hash;
    } golden[] = {{3.0f, 7329944806036051917ull},
                  {9.0f, 5577306631964571207ull},
                  {15.0f, 928977315357562403ull},
                  {24.0f, 13198097007781792434ull}}; // every shard grown
    for (const auto &g : golden) {
        std::fill_n(frame, 320 * 240, 0u);
        intro_render(frame, g.t);
        EXPECT_EQ(CvarFind("intro_time")->value, g.t);
        writeFramePNG(testing::TempDir() + "intro_t" + std::to_string((int)g.t) + ".png", frame);
        EXPECT_EQ(frameHash(frame), g.hash) << "t = " << g.t;
    }
}

TEST(IntroEffect, ShardsGrowWithTimeAndStarsSplatWithinTheFrame)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    uint32_t *frame = introFrame();
    CvarFind("intro_spread")->value = 1.0f;
    CvarFind("intro_angle_y")->value = 10.0f;
    intro_render(frame, 0.0f);
    const IntroShard *shard = intro_shard(0);
    ASSERT_NE(shard, nullptr);
    EXPECT_EQ(intro_shard(64), nullptr);
    EXPECT_FLOAT_EQ(intro_shard(63)->object->rotation[1], 190.0f); // the fan spans 180 degrees
    const IntroCurveStyle style = {0xFF102030u, 0xFFF0E0D0u, 2.0f, 20.0f, 1.0f};
    EXPECT_EQ(intro_drawCurve(frame, shard, &style, shard->phase - 0.01f), 0); // not started yet
    const int whole = intro_drawCurve(frame, shard, &style, shard->phase + 9.0f);
    EXPECT_EQ(whole, 127); // nine segments in steps of 0.07
    EXPECT_EQ(intro_drawCurve(frame, shard, &style, 1e30f), whole); // nothing grows past the ninth segment
    EXPECT_EQ(intro_curveColour(&style, 2.0f), 0xFFF0E0D0u);        // band centre
    EXPECT_EQ(intro_curveColour(&style, 2.5f), 0xFF808080u);         // half way
    EXPECT_EQ(intro_curveColour(&style, 3.0f), 0xFF102030u); // band edge
    CvarFind("intro_spread")->value = 0.0f;
    intro_render(frame, 0.0f);
    EXPECT_FLOAT_EQ(intro_shard(63)->object->rotation[1], 10.0f);

    // A star on a pixel corner lights that pixel alone, by 79; one at the
    // frame's last pixel loses its right and lower parts.
    std::fill_n(frame, 320 * 240, 0xFF000000u);
    markGuardRows(frame);
    intro_splatStar(frame, 10 * 256, 20 * 256);
    EXPECT_EQ(frame[20 * 320 + 10], 0xFF4F4F4Fu);
    EXPECT_EQ(frame[20 * 320 + 11] | frame[21 * 320 + 10] | frame[21 * 320 + 11], 0xFF000000u);
    intro_splatStar(frame, 319 * 256 + 128, 239 * 256 + 128);
    EXPECT_EQ(frame[239 * 320 + 319], 0xFF131313u);
    EXPECT_TRUE(guardRowsIntact(frame));
}

TEST(IntroEffect, HostileVariablesDrawOnlyInsideTheFrame)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    uint32_t *frame = introFrame();
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {std::nanf(""), inf, -inf, 1e30f, -1e30f, 3e9f, -7.5f, 0.0f, 1e-30f};
    for (float value : values) {
        for (const char *name : kIntroVars) {
            Cvar *cvar = CvarFind(name);
            cvar->value = value;
            std::fill_n(cvar->vec, 4, value);
        }
        for (float t : {value, 5.0f, 21.0f}) {
            markGuardRows(frame);
            intro_render(frame, t);
            EXPECT_TRUE(guardRowsIntact(frame)) << "value " << value << ", t " << t;
        }
    }
}
