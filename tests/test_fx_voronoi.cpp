// The voronoi mosaic: cell search, the 16 cell frames, the painting of a
// frame, and the effect over the object layer. Golden values come from this
// implementation with the generator seeded 1234 before the setup; after an
// intended change, run the tests, look at the PNGs they write to the temp
// directory (voronoi_*.png) and paste the values the failures print.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "assettree.h"
#include "cvar/catalog.h"
#include "effecthost.h"
#include "fx/engtest.h"
#include "fx/envtest.h"
#include "fx/fx.h"
#include "host/common.h"
#include "host/screen.h"

namespace {

// The host's earlier setups leave the generator in some state; one seed
// stands in for it. A private tree takes the object layer's conversion cache.
Screen *mosaicHost()
{
    Screen *screen = effectTestHost();
    if (screen && !envtestCellFrame(0)) {
        if (effectPrivateTree({"envtest.vars", "lwobj/blob3_mesh_hi.lobj", "lwobj/elude.obj", "lwobj/fx02_glow.lobj",
                               "lwobj/weird2.lobj"}).empty())
            return nullptr;
        vt::srand(1234);
        envtest_setup();
    }
    return screen;
}

const float kInf = std::numeric_limits<float>::infinity();

} // namespace

TEST(Voronoi, CellsAndCellFrames)
{
    ASSERT_TRUE(mosaicHost()) << "no production tree";
    // (0.25, 0) and (2, 0) are won by cells above or left of the frame: they
    // count as row and column 0.
    EXPECT_EQ(envtestCellOf(0.25f, 0.0f, 0.25f), 0xFF000000u);
    EXPECT_EQ(envtestCellOf(2.0f, 0.0f, 0.25f), 0xFF010000u);
    EXPECT_EQ(envtestCellOf(10.6f, 7.42f, 0.5f), 0xFF090700u);
    EXPECT_EQ(envtestCellOf(80.0f, 56.0f, 0.5f), 0xFF503700u);

    uint64_t hash = 1469598103934665603ull;
    int widest = 0, lowest = 0;
    for (int k = 0; k < ENVTEST_CELL_FRAMES; k++) {
        const uint16_t *cells = envtestCellFrame(k);
        for (int i = 0; i < 320 * 240; i++) {
            widest = std::max(widest, cells[i] >> 8);
            lowest = std::max(lowest, (cells[i] >> 1) & 127);
            hash = (hash ^ cells[i]) * 1099511628211ull;
        }
    }
    // Cells one beyond the reduced picture do occur: the painting must cope.
    EXPECT_EQ(widest, 80);
    EXPECT_EQ(lowest, 60);
    EXPECT_EQ(hash, 8675658043857678590ull);

    // 25 frames per unit of time, looping every 0.64; any time maps into the loop.
    EXPECT_EQ(envtestFrameIndex(0.1f), 2);
    EXPECT_EQ(envtestFrameIndex(0.74f), 2);
    EXPECT_EQ(envtestFrameIndex(-0.1f), 14);
    for (float t : {NAN, kInf, -kInf, 1e30f})
        EXPECT_EQ(envtestFrameIndex(t), 0) << t;

    // Registered in order, untracked, as the catalog has them.
    const char *names[] = {"voronoi_scale", "voronoi_shift", "voronob_blend", "voronoi_brightness"};
    for (int i = 0; i < 4; i++) {
        const CvarCatalogEntry *entry = cvarCatalogFind(names[i]);
        ASSERT_TRUE(entry && CvarFind(names[i]));
        EXPECT_TRUE(entry->kind == CVAR_FLOAT && !entry->tracked && !strcmp(entry->file, "envtest.vars"));
        if (i > 0) {
            EXPECT_EQ(CvarFind(names[i])->next, CvarFind(names[i - 1]));
        }
    }
}

TEST(Voronoi, PaintsTheReducedFrame)
{
    Screen *screen = mosaicHost();
    ASSERT_TRUE(screen) << "no production tree";
    uint32_t *frame = screen->buffer0;
    // Mid grey: twice the mean saturates to white, borders included.
    std::fill_n(frame, 320 * 240, 0x80808080u);
    envtestPaint(frame, 0.3f);
    EXPECT_EQ(std::count(frame, frame + 320 * 240, 0xFFFFFFFFu), 320 * 240);

    // A dim colour doubles; borders are lifted by 0x10 in every byte.
    std::fill_n(frame, 320 * 240, 0x10203040u);
    envtestPaint(frame, 0.3f);
    const uint16_t *cells = envtestCellFrame(envtestFrameIndex(0.3f));
    for (int i = 0; i < 320 * 240; i++)
        ASSERT_EQ(frame[i], (cells[i] & 1) ? 0x30507090u : 0x20406080u) << i;

    // With a mouse button held the frame keeps its picture, the reduced
    // one in the top-left 80 x 60.
    std::fill_n(frame, 320 * 240, 0x10203040u);
    screen->mouseButtons = MOUSE_RIGHT;
    envtestPaint(frame, 0.3f);
    screen->mouseButtons = 0;
    EXPECT_EQ(frame[59 * 320 + 79], 0x20406080u);
    EXPECT_EQ(frame[59 * 320 + 80], 0x10203040u);
    EXPECT_EQ(frame[60 * 320], 0x10203040u);
}

TEST(Voronoi, GoldenFramesAndHostileTimes)
{
    Screen *screen = mosaicHost();
    ASSERT_TRUE(screen) << "no production tree";
    const struct { float t; uint64_t hash; } golden[] = {{0.0f, 2873493091536517314ull}, {20.5f, 11900823856050035696ull}, {113.3f, 14435918511613725697ull}};
    for (const auto &g : golden) {
        std::fill_n(screen->buffer0, 320 * 240, 0u);
        envtest_render(screen->buffer0, g.t);
        writeFramePNG(testing::TempDir() + "voronoi_" + std::to_string((int)g.t) + ".png", screen->buffer0);
        EXPECT_EQ(frameHash(screen->buffer0), g.hash) << "t = " << g.t;
    }
    // Times and the object layer's variables come from tracks and can be
    // anything; the sanitizer build checks the memory.
    const float hostile[] = {NAN, kInf, -kInf, 1e30f, -1e30f, -3.7f, 2147483648.0f};
    for (float t : hostile)
        envtest_render(screen->buffer0, t);
    for (Cvar *c : {&engtest_diffuse, &engtest_zoom, &engtest_camera, &engtest_objectidx, &engtest_shading_primary,
                    &engtest_shading_secondary}) {
        const Cvar kept = *c;
        for (float v : hostile) {
            c->value = c->vec[0] = c->vec[1] = c->vec[2] = c->vec[3] = v;
            envtest_render(screen->buffer0, 20.0f);
        }
        *c = kept;
    }
}
