// Post-chain passes over the picture: golden pixels and edge cases of each
// pass, and whole passes through the SSE2 kernels against their scalar
// references, on random pictures and any settings.

#include "core/simd.h"
#include "core/tables.h"
#include "post/filter.h"
#include "post/post.h"
#include "post/post_local.h"
#include "testutil.h"

namespace {

const uint32_t kGuard = 0xDEADBEEFu; // never a frame pixel here

// Frame buffers 0 and 1 as the display makes them, guard rows set to kGuard.
struct Frames {
    std::vector<uint32_t> mem = std::vector<uint32_t>(2 * FRAME_BLOCK_PIXELS, kGuard);
    uint32_t *frame(int i) { return mem.data() + i * FRAME_BLOCK_PIXELS + FRAME_GUARD_PIXELS; }
    uint32_t &at(int i, int x, int y) { return frame(i)[y * FRAME_WIDTH + x]; }
    uint32_t *picture(int i) { return frame(i) + PICTURE_OFFSET_PIXELS; }
    // The passes as the chain runs them, with the variables' settings.
    void aberration()
    {
        const AberrationSettings s = postAberrationSettings();
        postAberration(frame(0), frame(1), &s);
    }
    void glow()
    {
        const GlowSettings s = postGlowSettings();
        postGlow(frame(0), frame(1), &s);
    }
    void glitch(int32_t xs, int32_t ys, const Texture *map) { postGlitch(frame(0), frame(1), xs, ys, map); }
    void load(const Frames &o) { std::copy(o.mem.begin(), o.mem.end(), mem.begin()); } // in place
    bool guardsIntact() const { return std::count(mem.begin(), mem.end(), kGuard) == 4 * FRAME_GUARD_PIXELS; }
    void fill(uint32_t value, uint32_t seed = 0)
    {
        std::mt19937 rng(seed);
        for (int i = 0; i < 2; i++)
            std::generate_n(frame(i), FRAME_WIDTH * FRAME_HEIGHT, [&] { return seed ? (uint32_t)rng() : value; });
    }
};

class Post : public testing::Test {
protected:
    Frames f;
    void SetUp() override
    {
        if (!sqrt_table)
            sqrtTableBuild();
        aberrationMaskBuild();
    }
    static void setGlow(float threshold, float r, float g, float b, float a, float strength, float blur)
    {
        std::fill_n(post_glow_threshold.vec, 4, threshold);
        post_glow_color.vec[0] = r, post_glow_color.vec[1] = g, post_glow_color.vec[2] = b, post_glow_color.vec[3] = a;
        post_glow_strength.value = strength, post_glow_blur_h.value = post_glow_blur_v.value = blur;
    }
};

} // namespace

// The golden tests run the kernels in use (SSE2 where the build has them); the
// last test ties the references to them.
TEST_F(Post, AberrationAndGlowGoldenPixelsOrderIdentityAndLens)
{
    // Black pixels in white, d = 1: their shifted pixels have white green and
    // blue. (8, 124) darkens the blue of (4, 122), which (0, 120) reads as
    // white only when rows run top to bottom.
    f.fill(0xFFFFFFFFu);
    for (auto [x, y] : {std::pair<int, int>{0, 120}, {1, 120}, {160, 120}, {0, 30}, {8, 124}})
        f.at(0, x, y) = 0;
    post_aberration_offset.value = 100, post_aberration_blur.value = 0, f.aberration();
    // Mask 245 at the left; mask 0 at the centre; mask 255 (the shifted pixel as it is) in the corner.
    EXPECT_EQ((std::array<uint32_t, 4>{f.at(0, 0, 120), f.at(0, 1, 120), f.at(0, 160, 120), f.at(0, 0, 30)}),
              (std::array<uint32_t, 4>{0x0000F4F4u, 0x0000F4F4u, 0u, 0x0000FFFFu}))
        << "(0, 120), (1, 120), (160, 120), (0, 30)";
    // Offset 99 gives d = 0: nothing changes without blur; with blur the
    // corner (mask 255) takes the blurred copy.
    f.fill(0, 3);
    Frames before = f;
    post_aberration_offset.value = 99, f.aberration();
    EXPECT_TRUE(sameWords(f.mem, before.mem)) << "offset 99, no blur";
    post_aberration_blur.value = 40, f.aberration();
    EXPECT_NE(f.at(1, 0, 30), before.at(1, 0, 30)) << "the blurred copy";
    EXPECT_EQ(f.at(0, 0, 30), f.at(1, 0, 30));

    // Glow: a white threshold leaves no glow image.
    f.fill(0, 9), before.load(f);
    setGlow(1, 1, 1, 1, 1, 1, 100), f.glow(); // a white threshold leaves no glow image
    EXPECT_TRUE(sameWords(f.frame(0), before.frame(0), FRAME_WIDTH * FRAME_HEIGHT));
    EXPECT_EQ(postGlowSettings().blur.threshold, 0xFFFFFFFFu);
    // One pixel at picture index 3210; its mirror is 54389, (309, 199). Per
    // channel o + g * c / 256; strength 0: no glow term; c held to 4095, the sum saturating.
    const double cases[][7] = {{1, 0.5f, 0, 0.25f, 1, 0x40404040u, 0x4F7F5F40u}, {1, 1, 1, 1, 0, 0x40404040u, 0x40404040u},
                              {1, 1, 1, 1, 20, 0xFFFFFFFFu, 0xFFFFFFFFu}}; // colour, strength, in, out
    for (const auto &c : cases) {
        f.fill(0), f.at(0, 10, 40) = (uint32_t)c[5];
        setGlow(0, c[0], c[1], c[2], c[3], c[4], 0);
        f.glow();
        EXPECT_EQ((std::array<uint32_t, 2>{f.at(0, 10, 40), f.at(0, 309, 199)}),
                  (std::array<uint32_t, 2>{(uint32_t)c[6], (uint32_t)c[5]}))
            << "strength " << c[4] << ": the pixel, then its mirror (the lens term always runs)";
    }
}

TEST_F(Post, GlitchMovesBlocksByTheDisplacement)
{
    TexturePtr map(txt_CreateTexture(GLITCH_MAP_WIDTH, GLITCH_MAP_HEIGHT, BITMAP_RGB32));
    uint32_t *m = words(map.get());
    std::fill_n(m, GLITCH_MAP_WIDTH * GLITCH_MAP_HEIGHT, 0x007F7F00u);
    f.fill(0, 17);
    Frames before = f;
    f.glitch(32, 32, map.get()); // neutral everywhere: only the fourth byte goes
    std::vector<uint32_t> opaque(before.picture(0), before.picture(0) + FRAME_WIDTH * PICTURE_ROWS);
    for (uint32_t &p : opaque)
        p &= 0x00FFFFFFu;
    EXPECT_TRUE(sameWords(f.picture(0), opaque.data(), opaque.size())) << "a neutral map";
    m[5 * 160 + 10] = 0x00FF7F00u;  // block (20, 10): x1 = x + 16, x2 = x + 13
    m[5 * 160 + 20] = 0x00007F00u;  // block (40, 10): floors, x1 = x - 16, x2 = x - 14
    m[85 * 160 + 30] = 0x007FFF00u; // block (60, 170): rows past 179 read the guard row
    m[81 * 160 + 40] = 0x007FFF00u; // block (80, 162), ys 34: y1 = 179, y2 = 176
    f.load(before), f.glitch(32, 34, map.get());
    auto pic = [&](int x, int y) { return f.at(0, x, 30 + y); };
    auto src = [&](int x, int y) { return before.at(0, x, 30 + y); };
    auto mix = [](uint32_t red, uint32_t greenBlue) { return (red & 0xFF0000u) | (greenBlue & 0xFFFFu); };
    using Pixels = std::array<uint32_t, 3>;
    EXPECT_EQ((Pixels{pic(20, 10), pic(21, 11), pic(40, 10)}),
              (Pixels{mix(src(36, 10), src(33, 10)), mix(src(37, 11), src(34, 11)), mix(src(24, 10), src(26, 10))}))
        << "blocks (20, 10) and (40, 10)";
    EXPECT_EQ((Pixels{pic(60, 170), pic(61, 171), pic(80, 162)}),
              (Pixels{0x00ADBEEFu, 0x00ADBEEFu, mix(src(80, 179), src(80, 176))})) << "blocks (60, 170) and (80, 162)";
    EXPECT_EQ(pic(80, 163), mix(before.at(1, 80, 210), src(80, 177))); // buffer 1's row 210, not refreshed
    f.load(before), f.glitch(INT32_MAX, INT32_MIN, map.get()); // held at the picture's edges
    EXPECT_EQ(pic(20, 10), mix(src(318, 10), src(318, 10)));
    EXPECT_TRUE(f.guardsIntact());
    // Nothing readable as 160 x 90 32-bit pixels, no bitmap, no picture: the copy only.
    Bitmap bad[] = {{159, 90, m, BITMAP_RGB32}, {160, 89, m, BITMAP_RGB32}, {160, 90, m, BITMAP_GRAY8},
                    {160, 90, nullptr, BITMAP_RGB32}};
    for (int i = 0; i < 6; i++) {
        Texture t = {i < 4 ? &bad[i] : nullptr, nullptr, nullptr};
        f.load(before), f.glitch(32, 32, i < 5 ? &t : nullptr);
        EXPECT_TRUE(sameWords(f.mem.data(), before.mem.data(), FRAME_BLOCK_PIXELS)) << "map " << i << ": buffer 0";
        EXPECT_TRUE(sameWords(f.picture(1), f.picture(0), FRAME_WIDTH * PICTURE_ROWS)) << "map " << i << ": the copy";
    }
}

TEST_F(Post, SimdAndScalarPassesAgreeOnAnySettingsAndBrightnessGoldens)
{
    std::mt19937 rng(77);
    auto any = [&](float lo, float hi) { return lo + (hi - lo) * (float)(rng() % 1001) / 1000.0f; };
    const float hostile[] = {NAN, INFINITY, -1e30f, 1e30f};
    for (int round = 0; round < 12; round++) {
        // Whole passes on random frames: settings in range, then values no slider gives.
        const float v = hostile[round % 4];
        post_aberration_offset.value = round >= 8 ? v : any(0, 1000);
        post_aberration_blur.value = round >= 8 ? v : rng() % 2 ? any(0, 255) : 0;
        setGlow(round >= 8 ? v : any(0, 0.6f), round >= 8 ? v : any(-0.5f, 1.5f), any(0, 1), any(0, 1), any(0, 1),
                round >= 8 ? v : any(0, 12), round >= 8 ? v : any(-1, 255));
        const int32_t level = round >= 8 ? (int32_t)rng() : (int32_t)(rng() % 520);
        Frames a, b;
        a.fill(0, 100 + round), b.load(a);
        for (Frames *x : {&a, &b}) {
            pst_Kernels = x == &a ? &SSE2_OR_REF(pst_KernelsSSE2, pst_KernelsRef) : &pst_KernelsRef;
            flt_Kernels = x == &a ? &SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef) : &flt_KernelsRef;
            x->aberration(), x->glow();
            postBrightness(x->picture(0), level), postBrightness(x->picture(1), 255 + (level & 255));
            EXPECT_TRUE(x->guardsIntact()) << round;
        }
        EXPECT_TRUE(sameWords(a.mem, b.mem)) << "round " << round;
    }
    pst_Kernels = &SSE2_OR_REF(pst_KernelsSSE2, pst_KernelsRef);
    flt_Kernels = &SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef);
    // Brightness darkens by level / 256 and brightens toward white, every byte
    // (the fourth included) and every pixel alike.
    const int32_t cases[][3] = {{255, 200, 200}, {128, 201, 100}, {128, 255, 127}, {0, 255, 0},     {256, 37, 37},
                                {510, 0, 254},   {510, 2, 255},   {300, 10, 54},   {-5, 255, 0},   {INT32_MIN, 255, 0},
                                {INT32_MAX, 0, 255}}; // level, byte in, byte out
    for (const auto &c : cases) {
        std::vector<uint32_t> picture(FRAME_WIDTH * PICTURE_ROWS, c[1] * 0x01010101u);
        postBrightness(picture.data(), c[0]);
        const uint32_t out = c[2] * 0x01010101u;
        EXPECT_EQ((std::array<uint32_t, 2>{picture.front(), picture.back()}), (std::array<uint32_t, 2>{out, out}))
            << "level " << c[0] << ", byte " << c[1] << ": first and last pixel";
    }
}

// The glitch picture is chosen when the glitch pass runs, so that its clock is
// read after the passes before it; without the pass the clock is not read.
static Frames *pickWatched;
static std::vector<uint32_t> pickedOn;
static int picks;

TEST_F(Post, GlitchPictureIsChosenWhenThePassRuns)
{
    setGlow(0.2f, 1, 1, 1, 1, 1, 8);
    PostPlan plan = {};
    plan.runBlurH = plan.runEdges = plan.runAberration = plan.runGlow = 1;
    plan.blur = filterParamsFor(100, 0);
    plan.edgeShift = 1;
    plan.aberration = postAberrationSettings();
    plan.glow = postGlowSettings();
    plan.demoSeconds = 12.5;
    plan.pickDisplacement = [](double seconds) -> const Texture * {
        picks++;
        EXPECT_EQ(seconds, 12.5);
        pickedOn.assign(pickWatched->picture(0), pickWatched->picture(0) + FRAME_WIDTH * PICTURE_ROWS);
        return nullptr;
    };
    Frames passes, chosen;
    passes.fill(0, 5), chosen.load(passes);
    postRunChain(passes.frame(0), passes.frame(1), &plan);
    EXPECT_EQ(picks, 0) << "no glitch pass, no clock reading";
    plan.runGlitch = 1;
    pickWatched = &chosen;
    postRunChain(chosen.frame(0), chosen.frame(1), &plan);
    EXPECT_EQ(picks, 1);
    // The picture at the moment of the choice is the one the four passes left.
    EXPECT_TRUE(sameWords(pickedOn.data(), passes.picture(0), FRAME_WIDTH * PICTURE_ROWS));
}
