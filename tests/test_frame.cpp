// The frame buffers and one turn of the frame loop: guard rows, debug views,
// letterbox, and the decisions the variables make for the post chain.
#include "testutil.h"

#include "cvar/cvar.h"
#include "fx/fx.h"
#include "host/host.h"
#include "host/hostvars.h"
#include "host/screen.h"
#include "post/filter.h"
#include "post/post.h"

// The one screen of the process, made without a window.
static Screen *offlineScreen()
{
    static Screen *screen = [] {
        screenSetOffline(1);
        hostRegisterGroup1();
        CvarRegisterList(&backimage_vars);
        hostRegisterGroup3();
        return screenCreate();
    }();
    return screen;
}

static void fillPattern(uint32_t *frame, uint32_t seed)
{
    for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; i++)
        frame[i] = (uint32_t)i * 2654435761u + seed;
}

TEST(FrameBuffers, ThreeFramesWithGuardRowsInsideTheirBlocks)
{
    Screen *s = offlineScreen();
    ASSERT_NE(s, nullptr);
    // (The record's sizes and texture views: set once, read by nothing.)
    uint32_t *blocks[3] = {s->block0, s->block1, s->block2}, *buffers[3] = {s->buffer0, s->buffer1, s->buffer2};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE("frame " + std::to_string(i));
        // Rows -32 and 271 are the first and last of the block: writing them
        // is legal (the sanitizer build checks the bounds).
        uint32_t &first = buffers[i][-32 * FRAME_WIDTH], &last = buffers[i][272 * FRAME_WIDTH - 1];
        first = last = 0;
        EXPECT_EQ((char *)buffers[i] - (char *)blocks[i], 40960);
        EXPECT_EQ(&last, blocks[i] + FRAME_BLOCK_PIXELS - 1);
    }
    EXPECT_EQ(screenCreate(), nullptr); // only once
}

// Where the window goes, also where no X server can show it (several
// displays, odd sizes): the plain window at (0, 64) where the display has
// room, moved up and left no further than needed, smaller by whole factors
// where the display is smaller; full screen on the display's bounds.
TEST(FrameBuffers, WindowPlacementKeepsThePictureOnItsDisplay)
{
    const ScreenDisplay plain = {}, zoom2 = {SCREEN_WINDOWED, 2, 0, 0}, zoom9 = {SCREEN_WINDOWED, 9, 0, 0},
                        full = {SCREEN_FULLSCREEN, 0, 0, 0};
    const struct { const char *name; const ScreenDisplay *request; std::array<int, 4> display; std::array<int, 6> want; }
        cases[] = {// display x, y, width, height -> window x, y, width, height, zoom, fitted
                   {"plain on 1920 x 1144", &plain, {0, 0, 1920, 1144}, {0, 64, 1920, 1080, 6, 0}},
                   {"plain on 1920 x 1080", &plain, {0, 0, 1920, 1080}, {0, 0, 1920, 1080, 6, 0}},
                   {"plain on 1920 x 1100", &plain, {0, 0, 1920, 1100}, {0, 20, 1920, 1080, 6, 0}},
                   {"plain on 1280 x 720", &plain, {0, 0, 1280, 720}, {0, 0, 1280, 720, 4, 1}},
                   {"plain on 1366 x 768", &plain, {0, 0, 1366, 768}, {0, 48, 1280, 720, 4, 1}},
                   {"plain on a second display", &plain, {1920, -200, 2560, 1440}, {1920, -136, 1920, 1080, 6, 0}},
                   {"plain on 200 x 100", &plain, {0, 0, 200, 100}, {0, 0, 320, 180, 1, 1}},
                   {"zoom 2", &zoom2, {0, 0, 1920, 1080}, {0, 64, 640, 360, 2, 0}},
                   {"zoom 9 on 1920 x 1080", &zoom9, {0, 0, 1920, 1080}, {0, 0, 1920, 1080, 6, 1}},
                   {"full screen 1280 x 720", &full, {0, 0, 1280, 720}, {0, 0, 1280, 720, 4, 0}},
                   {"full screen 1366 x 768", &full, {1920, 0, 1366, 768}, {1920, 0, 1366, 768, 4, 0}},
                   {"full screen 1920 x 1200", &full, {0, 0, 1920, 1200}, {0, 0, 1920, 1200, 6, 0}}};
    for (const auto &c : cases) {
        ScreenPlacement p;
        screenPlace(c.request, c.display[0], c.display[1], c.display[2], c.display[3], &p);
        EXPECT_EQ((std::array<int, 6>{p.x, p.y, p.width, p.height, p.zoom, p.fitted}), c.want) << c.name;
    }
}

class FrameTurn : public testing::Test {
protected:
    void SetUp() override
    {
        s = offlineScreen();
        ASSERT_NE(s, nullptr);
        fillPattern(s->buffer0, 1), fillPattern(s->buffer1, 2), fillPattern(s->buffer2, 3);
        s->mouseButtons = 0, background_mode.value = 0, fx_idx.value = 0;
    }
    void TearDown() override { s->mouseButtons = 0, background_mode.value = 0; }
    Screen *s = nullptr;
};

TEST_F(FrameTurn, LetterboxBarsBackgroundClearAndDebugViews)
{
    // Mouse buttons and background mode; the frame then shown (0: black), whether its bars are cleared.
    const struct { int buttons; float background; uint32_t seed; bool bars; } cases[] = {
        {0, 0, 1, true}, {0, 1.9f, 0, true}, {MOUSE_RIGHT, 0, 2, false}, {MOUSE_MIDDLE, 0, 3, false},
        {MOUSE_RIGHT | MOUSE_MIDDLE, 0, 2, false}, {MOUSE_RIGHT | MOUSE_LEFT, 0, 2, false}, // the right button wins
    };
    std::vector<uint32_t> expected(FRAME_WIDTH * FRAME_HEIGHT);
    for (const auto &c : cases) {
        fillPattern(s->buffer0, 1), fillPattern(expected.data(), c.seed);
        std::fill(expected.begin(), expected.begin() + (c.seed ? PICTURE_OFFSET_PIXELS * c.bars : expected.size()), 0u);
        std::fill(expected.end() - PICTURE_OFFSET_PIXELS * c.bars, expected.end(), 0u);
        s->mouseButtons = c.buttons, background_mode.value = c.background;
        hostDrawFrame(s);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), s->buffer0)) << c.buttons << ", " << c.background;
    }
}

TEST_F(FrameTurn, EveryPostPassRunsBeforeTheBrightnessAndTheBarsStayBlack)
{
    Cvar *on[] = {&post_blur_h, &post_blur_v, &post_edgedetect, &post_aberration, &post_aberration_blur, &post_glow,
                  &post_glow_strength, &post_glow_blur_h, &post_glow_blur_v, &post_glitch_xstrength, &post_glitch_ystrength};
    for (Cvar *v : on)
        v->value = 3;
    post_brightnedd.value = 0.5f;
    std::vector<uint32_t> before(s->buffer0, s->buffer0 + FRAME_WIDTH * FRAME_HEIGHT);
    hostDrawFrame(s);
    for (Cvar *v : on)
        v->value = 0;
    post_brightnedd.value = 1;
    const int pictureEnd = PICTURE_OFFSET_PIXELS + FRAME_WIDTH * PICTURE_ROWS;
    int changed = 0; // pixels of the picture that the passes changed
    for (int i = PICTURE_OFFSET_PIXELS; i < pictureEnd; i++)
        changed += s->buffer1[i] != before[i];
    EXPECT_GT(changed, FRAME_WIDTH * PICTURE_ROWS * 9 / 10);
    // The glitch (a plain copy here) left in buffer 1 what brightness 0.5 then darkened.
    for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; i++) {
        bool bar = i < PICTURE_OFFSET_PIXELS || i >= pictureEnd;
        uint32_t want = 0;
        for (int b = 0; b < 32 && !bar; b += 8)
            want |= ((s->buffer1[i] >> b & 255) * 63 >> 7) << b;
        ASSERT_EQ(s->buffer0[i], want) << "pixel " << i; // the first wrong one is enough
    }
}

TEST(PostPlan, SwitchesReadTheFloatValuesCoefficientsTheClampedIntegers)
{
    offlineScreen(); // the host variables are registered
    auto decisions = [](const PostPlan &p) {
        return std::map<std::string, int32_t>{
            {"runBlurH", p.runBlurH}, {"coefH", p.blur.coefH}, {"runBlurV", p.runBlurV}, {"runEdges", p.runEdges},
            {"edgeShift", p.edgeShift}, {"edgeAdditive", p.edgeAdditive}, {"runAberration", p.runAberration},
            {"runGlow", p.runGlow}, {"runGlitch", p.runGlitch}, {"runBrightness", p.runBrightness},
            {"brightnessLevel", p.brightnessLevel}, {"layerAt", p.layerAt}};
    };
    const struct { const char *what; Cvar *var; float value; const char *field; int32_t expected; } cases[] = {
        {"blur 0.2 runs", &post_blur_h, 0.2f, "runBlurH", 1},
        {"blur 0.2 has coefficient 0", &post_blur_h, 0.2f, "coefH", 0},
        {"blur 300 clamps to 255", &post_blur_h, 300.0f, "coefH", 255},
        {"negative blur does not run", &post_blur_v, -5.0f, "runBlurV", 0},
        {"NaN blur does not run", &post_blur_v, NAN, "runBlurV", 0},
        {"edges need more than 0.5", &post_edgedetect, 0.5f, "runEdges", 0},
        {"edge shift truncates", &post_edgedetect_factor, 2.9f, "edgeShift", 2},
        {"additive above 0", &post_edgedetect_additive, 0.01f, "edgeAdditive", 1},
        {"aberration when not 0", &post_aberration, -0.1f, "runAberration", 1},
        {"glow when not 0", &post_glow, 0.0f, "runGlow", 0},
        {"glitch y -3 runs", &post_glitch_ystrength, -3.0f, "runGlitch", 1},
        {"glitch x -3 alone does not run", &post_glitch_xstrength, -3.0f, "runGlitch", 0},
        {"glitch brightness triggers", &post_glitch_brightness, 0.5f, "runGlitch", 1},
        {"brightness exactly 1 does not run", &post_brightnedd, 1.0f, "runBrightness", 0},
        {"brightness 0.999 is level 254", &post_brightnedd, 0.999f, "brightnessLevel", 254},
        {"brightness 2 is level 510", &post_brightnedd, 2.0f, "brightnessLevel", 510},
        {"front layer before the chain", &foreground_mode, 3.7f, "layerAt", POST_LAYER_BEFORE},
        {"front layer after the chain", &foreground_mode, 4.0f, "layerAt", POST_LAYER_AFTER},
        {"no front layer otherwise", &foreground_mode, 2.0f, "layerAt", POST_LAYER_NONE},
    };
    Cvar *all[] = {&post_blur_h, &post_blur_v, &post_edgedetect, &post_edgedetect_factor,
                   &post_edgedetect_additive, &post_aberration, &post_glow, &post_glitch_xstrength,
                   &post_glitch_ystrength, &post_glitch_brightness, &foreground_mode};
    for (const auto &c : cases) {
        for (Cvar *v : all)
            v->value = 0.0f;
        post_brightnedd.value = 1.0f;
        c.var->value = c.value;
        PostPlan plan;
        hostPlanPost(&plan, 0.0f, -1.0);
        EXPECT_EQ(decisions(plan).at(c.field), c.expected) << c.what;
    }
    post_brightnedd.value = 1.0f;
}

TEST(PostPlan, LogoFadesInDuringTheIntroOnly)
{
    offlineScreen();
    const struct { float fxIdx, fxTime; int32_t alpha; } cases[] = {
        {2, 10.0f, 0}, {2, 9.0f, 0}, {2, 10.5f, 25}, {2, 20.0f, 216}, {2.9f, 100.0f, 216}, {3, 20.0f, 0}};
    for (const auto &c : cases) {
        fx_idx.value = c.fxIdx;
        PostPlan plan;
        hostPlanPost(&plan, c.fxTime, -1.0);
        EXPECT_EQ(plan.logoAlpha, c.alpha) << c.fxIdx << " at " << c.fxTime;
    }
    fx_idx.value = 0;
}

TEST(Foreground, IndexTruncatesAndOutOfRangeMeansNone)
{
    offlineScreen();
    const struct { float value; int index; } cases[] = {{0, 0}, {6.9f, 6}, {-0.5f, 0}, {7, -1}, {-1, -1}, {NAN, -1},
                                                        {1e30f, -1}, {2.5f, 2}};
    for (const auto &c : cases) {
        fx_idx.value = c.value;
        EXPECT_EQ(hostForegroundIndex(), c.index) << c.value;
    }
    fx_idx.value = 0;
}
