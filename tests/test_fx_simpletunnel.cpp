// The tunnel: SSE2 kernel against the scalar rule, ring goldens, golden frames
// (of frame buffer 2, drawn through both tables), slots, colour, hostiles.

#include "core/simd.h"
#include "data/data.h"
#include "effecthost.h"
#include "fx/simpletunnel.h"
#include "host/screen.h"

static const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();

// Frame buffer 2 drawn with these variables, every colour component c.
static uint32_t *tunnel(Screen *s, float idx, float angle, float shift, float period, float persp, float c = 1)
{
    simpletunnel_texture_idx.value = idx, simpletunnel_angle.value = angle, simpletunnel_shift.value = shift;
    simpletunnel_split_period.value = period, simpletunnel_perspective.value = persp;
    std::fill_n(simpletunnel_color.vec, 4, c);
    simpletunnel_render(effectContext(), s->buffer2, 0.0f);
    return s->buffer2;
}

static std::set<uint32_t> colours(const uint32_t *f) { return std::set<uint32_t>(f, f + 320 * 240); }

TEST(SimpleTunnel, KernelsAgreeBitForBit)
{
    if (!simdHasSSE2)
        GTEST_SKIP() << "no SSE2 kernels in this build: the references are the kernels";
    std::mt19937 rng(7);
    std::vector<uint16_t> table(320 * 240);
    std::vector<uint32_t> texels(65536), ref(320 * 240), sse(320 * 240);
    TunnelFrame f{table.data(), texels.data(), {}, 0};
    for (uint32_t m = 0; m < 128; m++) { // every multiplier in every byte, over random texels
        for (auto &e : table) e = (uint16_t)rng();
        for (auto &t : texels) t = rng();
        for (auto &b : f.ringBase) b = (uint16_t)rng();
        f.multipliers = m | ((m * 37) & 127) << 8 | ((m * 91) & 127) << 16 | (127 - m) << 24;
        tunnelDrawRef(&f, ref.data());
        SSE2_OR_REF(tunnelDrawSSE2, tunnelDrawRef)(&f, sse.data());
        ASSERT_TRUE(sameWords(sse, ref)) << "multipliers " << std::hex << f.multipliers; // the first is enough
    }
}

TEST(SimpleTunnel, RingsGoldenFramesSlotsAndHostileValues)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::vector<Cvar *>(simpletunnel_tracked.vars, simpletunnel_tracked.vars + simpletunnel_tracked.count),
              (std::vector<Cvar *>{&simpletunnel_texture_idx, &simpletunnel_angle, &simpletunnel_shift}));
    // Both tables draw the golden frames below, every entry of them.

    uint8_t r[256];
    simpletunnel_rings(r, 10, 1, 1); // 256 / d: 256 even, 128 even, 85 odd
    EXPECT_EQ(std::vector<int>(r + 1, r + 4), (std::vector<int>{245, 245, 10}));
    simpletunnel_rings(r, 10, 4, 0); // d / 40
    EXPECT_EQ(std::vector<int>({r[39], r[40], r[79], r[80]}), (std::vector<int>{245, 10, 10, 245}));
    simpletunnel_rings(r, 0.5f, 0.5f, 1); // 512 / d: six ring edges by d 16, none from d 171 on
    EXPECT_EQ(std::inner_product(r + 1, r + 16, r + 2, 0, std::plus<int>(), std::not_equal_to<int>()), 6);
    EXPECT_EQ(std::set<int>(r + 171, r + 256).size(), 1u);
    for (float period : {0.0f, -3.0f, kNaN}) {
        simpletunnel_rings(r, 300, period, 1); // one rotation, 300 & 255
        EXPECT_EQ(std::set<int>(r, r + 256), std::set<int>{44}) << period;
    }

    const float settings[][5] = {{0, 0, 0, 0, 0}, {1, 40, 100, 4, 1}, {2, 200, 3000, 1.5f, 0}, {4, 7, 9, 2, 1}};
    const uint64_t golden[] = {0x90534bba749f1734ull, 0x320c472cdf009be7ull, 0xa15f63341d2e786bull,
                               0x7e8a2d300be50403ull};
    for (int i = 0; i < 4; i++)
        checkGoldenFrame(tunnel(s, settings[i][0], settings[i][1], settings[i][2], settings[i][3], settings[i][4]),
                         golden[i], "tunnel" + std::to_string(i));
    // Slots: floor, then a floored modulo 5; the painted ones are white (scaled 127/128, alpha 125/128) on black.
    for (float idx : {3.0f, 3.7f, 4.2f})
        EXPECT_EQ(colours(tunnel(s, idx, 5, 6, 0, 1)), (std::set<uint32_t>{0u, 0xF9FDFDFDu})) << idx;
    EXPECT_EQ(frameHash(tunnel(s, 3.7f, 5, 6, 0, 1)), frameHash(tunnel(s, 3, 5, 6, 0, 1)));
    EXPECT_NE(frameHash(tunnel(s, 4.2f, 5, 6, 0, 1)), frameHash(tunnel(s, 3, 5, 6, 0, 1)));
    EXPECT_EQ(frameHash(tunnel(s, -1, 5, 6, 0, 1)), frameHash(tunnel(s, 4, 5, 6, 0, 1)));
    EXPECT_EQ(frameHash(tunnel(s, 5, 5, 6, 0, 1)), frameHash(tunnel(s, 0, 5, 6, 0, 1)));
    // A shift past 255 carries its high byte into the rotation.
    EXPECT_EQ(frameHash(tunnel(s, 1, 0, 3 * 256 + 9, 0, 0)), frameHash(tunnel(s, 1, 3, 9, 0, 0)));
    EXPECT_EQ(colours(tunnel(s, 1, 5, 6, 2, 1, 0)), std::set<uint32_t>{0u});
    expectHostileFramesInside("simpletunnel_", simpletunnel_render, s->buffer2, {0.0f});
}

TEST(SimpleTunnel, MissingPictureEndsTheProgram)
{
    ASSERT_NE(effectTestHost(), nullptr);
    TempDir empty;
    dataSetBasePath((empty.path() + "/").c_str());
    EXPECT_EXIT(simpletunnel_setup(effectContext()), testing::ExitedWithCode(10), "");
}
