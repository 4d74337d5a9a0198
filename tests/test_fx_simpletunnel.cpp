// The tunnel: SSE2 kernel against the scalar rule, table and ring goldens,
// golden frames, texture slots and colour, and hostile variables.
//
// Golden hashes are FNV-1a over the 240 rows of frame buffer 2. After a
// deliberate change run the test with VANTOREL_UPDATE_GOLDEN=1 to print the
// new table; VANTOREL_FX_PNG=dir writes the frames there to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "cvar/catalog.h"
#include "data/data.h"
#include "effecthost.h"
#include "fx/fx.h"
#include "fx/simpletunnel.h"
#include "host/screen.h"
#include "testutil.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();

// Renders frame buffer 2 with the given variables (colour white unless said).
uint32_t *tunnel(Screen *s, float idx, float angle, float shift, float period, float persp, float c = 1)
{
    simpletunnel_texture_idx.value = idx, simpletunnel_angle.value = angle, simpletunnel_shift.value = shift;
    simpletunnel_split_period.value = period, simpletunnel_perspective.value = persp;
    for (float &v : simpletunnel_color.vec)
        v = c;
    simpletunnel_render(s->buffer2);
    return s->buffer2;
}

std::set<uint32_t> colours(const uint32_t *f) { return std::set<uint32_t>(f, f + 320 * 240); }

} // namespace

TEST(SimpleTunnel, KernelsAgreeBitForBit)
{
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
        tunnelDrawSSE2(&f, sse.data());
        ASSERT_EQ(ref, sse) << "multipliers " << std::hex << f.multipliers;
    }
}

TEST(SimpleTunnel, TablesAndRings)
{
    ASSERT_NE(effectTestHost(), nullptr);
    simpletunnel_setup();
    EXPECT_EQ(simpletunnel_table(0)[120 * 320 + 160], 0x2400); // centre: seam angle, depth 0 in both
    EXPECT_EQ(simpletunnel_table(1)[120 * 320 + 160], 0x2400);
    EXPECT_EQ(simpletunnel_table(0)[0], (202 << 8) | 62);       // corner, radius 200: 318 & 255
    EXPECT_EQ(simpletunnel_table(1)[0], (202 << 8) | 15);       // 3000 / 200

    uint8_t r[256];
    simpletunnel_rings(r, 10, 1, 1); // 256 / d: 256 even, 128 even, 85 odd
    EXPECT_EQ(std::vector<int>(r + 1, r + 4), (std::vector<int>{245, 245, 10}));
    simpletunnel_rings(r, 10, 4, 0); // d / 40
    EXPECT_EQ(std::vector<int>({r[39], r[40], r[79], r[80]}), (std::vector<int>{245, 10, 10, 245}));
    simpletunnel_rings(r, 0.5f, 0.5f, 1); // 512 / d: thin rings at the rim (small d), one ring from d 172 in
    int rim = 0, inside = 0;
    for (int d = 2; d < 256; d++) {
        rim += d < 17 && r[d] != r[d - 1];
        inside += d > 172 && r[d] != r[d - 1];
    }
    EXPECT_EQ(rim, 6);
    EXPECT_EQ(inside, 0);
    for (float period : {0.0f, -3.0f, kNaN}) {
        simpletunnel_rings(r, 300, period, 1); // one rotation: 300 & 255
        EXPECT_EQ(std::set<int>(r, r + 256).size(), 1u) << period;
        EXPECT_EQ(r[17], 44);
    }
}

TEST(SimpleTunnel, FramesSlotsAndColour)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr);
    simpletunnel_setup();
    ASSERT_EQ(simpletunnel_tracked.count, 3);
    for (int i = 0; i < 6; i++) {
        const char *name[] = {"simpletunnel_texture_idx", "simpletunnel_angle", "simpletunnel_shift",
                              "simpletunnel_split_period", "simpletunnel_perspective", "simpletunnel_color"};
        Cvar *c = CvarFind(name[i]);
        ASSERT_NE(c, nullptr) << name[i];
        EXPECT_EQ(cvarCatalogFind(name[i])->kind, c->kind);
        EXPECT_EQ(cvarCatalogFind(name[i])->tracked, i < 3);
        EXPECT_TRUE(i >= 3 || simpletunnel_tracked.vars[i] == c) << name[i];
    }

    const float settings[][5] = {{0, 0, 0, 0, 0}, {1, 40, 100, 4, 1}, {2, 200, 3000, 1.5f, 0}, {4, 7, 9, 2, 1}};
    const uint64_t golden[] = {0x90534bba749f1734ull, 0x320c472cdf009be7ull, 0xa15f63341d2e786bull,
                               0x7e8a2d300be50403ull};
    const bool update = getenv("VANTOREL_UPDATE_GOLDEN") != nullptr;
    for (int i = 0; i < 4; i++) {
        const float *v = settings[i];
        const uint32_t *f = tunnel(s, v[0], v[1], v[2], v[3], v[4]);
        if (const char *dir = getenv("VANTOREL_FX_PNG"))
            writeFramePNG(std::string(dir) + "/tunnel" + std::to_string(i) + ".png", f);
        if (update) {
            printf("0x%016llxull,\n", (unsigned long long)frameHash(f));
            continue;
        }
        EXPECT_EQ(frameHash(f), golden[i]) << "frame " << i;
    }

    // Slots: floor, then a floored modulo 5; the painted ones are white (scaled 127/128, alpha 125/128) on black.
    const std::set<uint32_t> whiteOnBlack = {0u, 0xF9FDFDFDu};
    const uint64_t bands = frameHash(tunnel(s, 3, 5, 6, 0, 1));
    EXPECT_EQ(colours(s->buffer2), whiteOnBlack);
    EXPECT_EQ(frameHash(tunnel(s, 3.7f, 5, 6, 0, 1)), bands);
    const uint64_t blocks = frameHash(tunnel(s, 4.2f, 5, 6, 0, 1));
    EXPECT_EQ(colours(s->buffer2), whiteOnBlack);
    EXPECT_NE(blocks, bands);
    EXPECT_EQ(frameHash(tunnel(s, -1, 5, 6, 0, 1)), blocks);
    EXPECT_EQ(frameHash(tunnel(s, 5, 5, 6, 0, 1)), frameHash(tunnel(s, 0, 5, 6, 0, 1)));
    // A shift past 255 carries its high byte into the rotation.
    EXPECT_EQ(frameHash(tunnel(s, 1, 0, 3 * 256 + 9, 0, 0)), frameHash(tunnel(s, 1, 3, 9, 0, 0)));
    EXPECT_EQ(colours(tunnel(s, 1, 5, 6, 2, 1, 0)), std::set<uint32_t>{0u});
}

TEST(SimpleTunnel, HostileVariablesStayInTheFrame)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr);
    simpletunnel_setup();
    const uint32_t kGuard = 0xA5C3E1F0u;
    std::fill(s->block2, s->buffer2, kGuard);
    std::fill(s->buffer2 + 320 * 240, s->block2 + FRAME_BLOCK_PIXELS, kGuard);
    const float hostile[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, -7.5f, 65537.0f, 2147483648.0f, -1e-30f};
    for (float h : hostile) {
        for (int var = 0; var < 9; var++) {
            float v[9] = {2, 30, 40, 3, 1, 1, 1, 1, 1};
            v[var] = h;
            tunnel(s, v[0], v[1], v[2], v[3], v[4]);
            std::copy(v + 5, v + 9, simpletunnel_color.vec);
            simpletunnel_render(s->buffer2);
        }
    }
    EXPECT_TRUE(std::all_of(s->block2, s->buffer2, [&](uint32_t p) { return p == kGuard; }));
    EXPECT_TRUE(std::all_of(s->buffer2 + 320 * 240, s->block2 + FRAME_BLOCK_PIXELS,
                            [&](uint32_t p) { return p == kGuard; }));
}

TEST(SimpleTunnel, MissingPictureEndsTheProgram)
{
    ASSERT_NE(effectTestHost(), nullptr);
    TempDir empty;
    dataSetBasePath((empty.path() + "/").c_str());
    EXPECT_EXIT(simpletunnel_setup(), testing::ExitedWithCode(10), "");
}
