// The voronoi mosaic. Golden values: this implementation, generator seeded 1234 before the setup; after an
// intended change, look at the voronoi_*.png written to the temp directory and paste the values the failures print.

#include "effecthost.h"
#include "fx/envtest.h"
#include "fx/fx.h"
#include "core/common.h"
#include "host/screen.h"

TEST(Voronoi, CellsPaintingAndGoldenFrames)
{
    // A private tree takes the object layer's conversion cache. The host's
    // earlier setups leave the generator in some state; one seed stands in for it.
    Screen *screen = effectTestHost();
    ASSERT_TRUE(screen && !effectPrivateTree({"envtest.vars", "lwobj/blob3_mesh_hi.lobj", "lwobj/elude.obj",
                                               "lwobj/fx02_glow.lobj", "lwobj/weird2.lobj"}).empty());
    vt::srand(1234);
    envtest_setup();
    // Won by the cell above and left of the frame (-1, -1): row and column 0.
    EXPECT_EQ(envtestCellOf(0.25f, 0.0f, 0.25f), 0xFF000000u);
    uint64_t hash = 1469598103934665603ull;
    for (int i = 0; i < ENVTEST_CELL_FRAMES * 320 * 240; i++)
        hash = (hash ^ envtestCellFrame(i / (320 * 240))[i % (320 * 240)]) * 1099511628211ull;
    EXPECT_EQ(hash, 8675658043857678590ull);
    // 25 frames per unit of time, a loop every 0.64; any time lands in it.
    EXPECT_TRUE(envtestFrameIndex(0.74f) == 2 && envtestFrameIndex(0.1f) == 2 && envtestFrameIndex(-0.1f) == 14 &&
                envtestFrameIndex(NAN) == 0);

    // Mid grey doubles to white; a dim colour doubles, its borders lifted by 0x10 in every byte.
    uint32_t *frame = screen->buffer0;
    const uint16_t *cells = envtestCellFrame(envtestFrameIndex(0.3f));
    for (uint32_t grey : {0x80808080u, 0x10203040u}) {
        std::fill_n(frame, 320 * 240, grey);
        envtestPaint(frame, 0.3f);
        for (int i = 0; i < 320 * 240; i++)
            ASSERT_EQ(frame[i], grey == 0x80808080u ? ~0u : (cells[i] & 1) ? 0x30507090u : 0x20406080u) << i;
    }
    const struct { float t; uint64_t hash; } golden[] = {
        {0.0f, 2873493091536517314ull}, {20.5f, 11900823856050035696ull}, {113.3f, 14435918511613725697ull}};
    for (const auto &g : golden) {
        std::fill_n(frame, 320 * 240, 0u);
        envtest_render(frame, g.t);
        writeFramePNG(testing::TempDir() + "voronoi_" + std::to_string((int)g.t) + ".png", frame);
        EXPECT_EQ(frameHash(frame), g.hash) << "t = " << g.t;
    }
    // The time comes from a track and can be anything; the sanitizer build checks the memory.
    for (float t : {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -3.7f, 2147483648.0f})
        envtest_render(frame, t);
}
