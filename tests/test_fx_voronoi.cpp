// The voronoi mosaic after the program's start-up: its cells, the painting and golden frames.

#include "effecthost.h"
#include "fx/envtest.h"
#include "host/screen.h"

TEST(Voronoi, CellsPaintingAndGoldenFrames)
{
    // The cells come from the generator as the earlier setups of the start-up left it.
    Screen *screen = effectTestHost();
    ASSERT_NE(screen, nullptr) << "no production tree";
    // Won by the cell above and left of the frame (-1, -1): row and column 0.
    EXPECT_EQ(envtestCellOf(0.25f, 0.0f, 0.25f), 0xFF000000u);
    uint64_t hash = 1469598103934665603ull;
    for (int i = 0; i < ENVTEST_CELL_FRAMES * 320 * 240; i++)
        hash = (hash ^ envtestCellFrame(i / (320 * 240))[i % (320 * 240)]) * 1099511628211ull;
    checkGolden(hash, 0x51cc8995a0a07271ull, "voronoi_cells");
    // 25 frames per unit of time, a loop every 0.64; any time lands in it.
    for (auto [t, index] : {std::pair{0.74f, 2}, {0.1f, 2}, {-0.1f, 14}, {NAN, 0}})
        EXPECT_EQ(envtestFrameIndex(t), index) << "time " << t;

    // Mid grey doubles to white; a dim colour doubles, its borders lifted by 0x10 in every byte.
    uint32_t *frame = screen->buffer0;
    const uint16_t *cells = envtestCellFrame(envtestFrameIndex(0.3f));
    for (uint32_t grey : {0x80808080u, 0x10203040u}) {
        SCOPED_TRACE(testing::Message() << "grey " << std::hex << grey);
        std::fill_n(frame, 320 * 240, grey);
        envtestPaint(frame, 0.3f, 0);
        [&] { // the first wrong pixel ends this check alone
            for (int i = 0; i < 320 * 240; i++)
                ASSERT_EQ(frame[i], grey == 0x80808080u ? ~0u : (cells[i] & 1) ? 0x30507090u : 0x20406080u) << i;
        }();
    }
    const struct { float t; uint64_t hash; } golden[] = {
        {0.0f, 0xa3aa4eef84812f7bull}, {20.5f, 0x07e57ce9da84d257ull}, {113.3f, 0x9bbade8509beedadull}};
    for (const auto &g : golden) {
        std::fill_n(frame, 320 * 240, 0u);
        envtest_render(effectContext(), frame, g.t);
        checkGoldenFrame(frame, g.hash, "voronoi_" + std::to_string((int)g.t));
    }
    // The time comes from a track and can be anything; the sanitizer build checks the memory.
    for (float t : {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -3.7f, 2147483648.0f})
        envtest_render(effectContext(), frame, t);
}
