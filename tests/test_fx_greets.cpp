// Greets over the fish in the production's tree: golden frames, the tile
// choice, the darkened tiles, hostile values and missing pictures.

#include "cvar/cvar.h"
#include "data/image.h"
#include "effecthost.h"
#include "fx/greets.h"
#include "host/screen.h"

// Fish and passes set here, so that the goldens do not follow tuned files.
static const char *const kNames[20] = {"fishtest_zoom", "fishtest_fish", "fishtest_cameradist",
    "fishtest_motionrange", "fishtest_anglerange", "fishtest_motionspeed", "fishtest_anglespeed", "fishtest_textureidx",
    "fishtest_flashidx", "fishtest_boxcolor", "fishtest_flashcolor1", "fishtest_flashcolor2", "post_edgedetect_factor",
    "post_aberration_offset", "post_aberration_blur", "post_glow_color", "post_glow_strength", "post_glow_threshold",
    "post_glow_blur_h", "post_glow_blur_v"};
static const float kValues[20] = {128, 0.3f, -200, 40, 30, 1, 1, 1.5f, 0, 0.8f, 1, 1, 2, 300, 0, 0.9f, 1.2f, 0.35f, 220, 220};

static uint64_t renderHash(float idx, float t)
{
    uint32_t *frame = effectTestHost()->buffer0;
    CvarFind("greets_idx")->value = idx;
    std::fill_n(frame, 320 * 240, 0u);
    greets_render(effectContext(), frame, t);
    return frameHash(frame);
}

static void renderGolden(float idx, float t, uint64_t golden)
{
    renderHash(idx, t);
    char name[32];
    snprintf(name, sizeof name, "greets_%g", idx);
    checkGoldenFrame(effectTestHost()->buffer0, golden, name);
}

TEST(Greets, GoldenFramesTileChoiceDarkenedTilesAndHostileValues)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    for (int i = 0; i < 20; i++)
        CvarFind(kNames[i])->value = kValues[i], std::fill_n(CvarFind(kNames[i])->vec, 4, kValues[i]);
    // 17 and 18: fish, passes and tiles, no greeting. 7.1 and 7.9 are one greeting: the same tiles.
    renderGolden(0.0f, 2.0f, 0xa3b0ebd3fce0f29bull);
    renderGolden(7.9f, 9.5f, 0x028d0b572a7312abull);
    EXPECT_EQ(renderHash(7.1f, 9.5f), renderHash(7.9f, 9.5f));
    renderGolden(16.0f, 20.0f, 0xec6b869cf6ea19dbull);
    renderGolden(17.0f, 20.0f, 0x8cbed37d871df21dull);
    renderGolden(18.5f, 3.0f, 0x2f17c5ca55a076c0ull);
    // Slots from the shared generator seeded with the floor of greets_idx, worked out by hand.
    std::vector<int> slots(20);
    const float idx[5] = {0.0f, 7.9f, 16.0f, 17.0f, -0.5f};
    for (int i = 0; i < 5; i++)
        greets_chooseTiles(greets_number(idx[i]), &slots[4 * i]);
    EXPECT_EQ(slots, (std::vector<int>{18, 19, 18, 17, 1, 2, 15, 0, 10, 14, 13, 2, 14, 2, 17, 17, 15, 19, 14, 1}));
    Texture *raw = imgLoad("backgrounds/morla/greets/morla_glitch20.png"); // 64 x 40, darkened once as it loaded
    imgDim(raw, raw);
    EXPECT_EQ(memcmp(raw->bitmap->pixels, greets_state()->tiles[19]->bitmap->pixels, 64 * 40 * 4), 0);
    expectHostileFramesInside("greets_", greets_render, s->buffer0, {2.0f});
    expectHostileFramesInside("post_", greets_render, s->buffer0, {2.0f});
}

TEST(GreetsDeathTest, MissingPicturesAreSkipped)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process: nothing started yet
    ASSERT_NE(getenv("VANTOREL_PRODUCTION_TREE"), nullptr);
    auto withoutPictures = [] { // every greeting number draws inside the frame; exit 1 if not, 3 if a tile loaded
        if (!effectTestHost("backgrounds/morla/greets"))
            exit(2);
        uint32_t *frame = guardedFrame();
        for (float idx = -1.0f; idx < 20.0f; idx += 1.0f)
            CvarFind("greets_idx")->value = idx, greets_render(effectContext(), frame, 1.0f);
        exit(!guardRowsIntact(frame) ? 1 : greets_state()->tiles[3] ? 3 : 0);
    };
    EXPECT_EXIT(withoutPictures(), testing::ExitedWithCode(0), "");
}
