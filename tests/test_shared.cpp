// Shared helpers and start-up tables: aligned blocks, the random sequence,
// truncation, tagged messages, sine/reciprocal/square-root tables and the
// aberration mask built from them.
#include "testutil.h"

#include "fx/fxtables.h"
#include "core/common.h"
#include "core/tables.h"
#include "post/post.h"
#include "render/view.h"

using Ints = std::vector<int64_t>; // values compared as one, so that a failure prints them all

TEST(AllocAligned, ZeroFilledWithLengthHeaderRefusalsAndAnnouncement)
{
    for (size_t size : {1u, 3u, 16u, 1000u}) {
        uint8_t *p = (uint8_t *)allocAligned(size, 1);
        ASSERT_NE(p, nullptr) << size;
        EXPECT_EQ((uintptr_t)p % 16, 0u) << size;
        EXPECT_EQ(std::count(p, p + size, 0), (long)size) << size << " bytes zero-filled";
        std::array<uint32_t, 4> header; // the block's length, then zeros
        memcpy(header.data(), p - 16, sizeof header);
        EXPECT_EQ(header, (std::array<uint32_t, 4>{(uint32_t)size + 16, 0, 0, 0})) << size;
        freeAligned(p);
    }
    for (auto [count, size] : {std::pair<size_t, size_t>{0, 4}, {4, 0}, {SIZE_MAX / 2, 4}, {(size_t)INT_MAX, 2}})
        EXPECT_EQ(allocAligned(count, size), nullptr) << count << " x " << size;
    void *small = nullptr, *big = nullptr;
    EXPECT_EQ(captured([&] { small = allocAligned(1048576, 1), big = allocAligned(5 * 1048576 / 2, 1); }),
              "**allocating 2 MB\n");
    freeAligned(small), freeAligned(big);
}

// The effects' golden frames depend on every draw; this says it is the
// generator that broke when they all fail at once.
TEST(Random, FollowsTheDemosLinearCongruentialSequence)
{
    vt::srand(1); // the classic run-time library sequence for seed 1
    std::vector<int> values(8);
    std::generate(values.begin(), values.end(), vt::rand);
    EXPECT_EQ(values, (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358}));
    // Reseeding restarts the sequence; all results stay within 15 bits.
    vt::srand(0xFFFFFFFFu);
    int first = vt::rand(), outside = 0;
    for (int i = 0; i < 10000; i++)
        outside += (vt::rand() & ~32767) != 0;
    EXPECT_EQ(outside, 0);
    vt::srand(0xFFFFFFFFu);
    EXPECT_EQ(vt::rand(), first);
}

TEST(Truncation, TowardZeroAndDefinedForValuesThatDoNotFit)
{
    const double cases[][2] = {{6.9, 6}, {-0.5, 0}, {-6.9, -6}, {2147483647.0, INT32_MAX}, {-2147483648.0, INT32_MIN},
                               {2147483648.0, INT32_MIN}, {NAN, INT32_MIN}, {-INFINITY, INT32_MIN}, {1e30, INT32_MIN}};
    for (const auto &c : cases)
        EXPECT_EQ(truncInt(c[0]), (int32_t)c[1]) << c[0];
}

TEST(TaggedMessage, NameAndRightAlignedLineThenQuotedTextOnOneLine)
{
    EXPECT_EQ(captured([] {
                  logTagged("timerCreateNode", 239, "Created %s", "frame");
                  logTagged("CvarLoad", 12345, "Loading variables for source file <%s>\n", "post.vars");
                  // Only the message text is escaped; a line quoted from a file keeps its newline.
                  logTagged("CvarReadVariables", 7, "Invalid variable in file:%s, source:%s\n", "fx_time\n", "post.vars");
              }),
              "[timerCreateNode :  239]\"Created frame\"\n"
              "[CvarLoad : 12345]\"Loading variables for source file <post.vars>\\n\"\n"
              "[CvarReadVariables :    7]\"Invalid variable in file:fx_time\n, source:post.vars\\n\"\n");
}

// The sine, reciprocal and square-root tables and the aberration mask built
// from the root draw every effect and the post chain: their golden frames
// check them. Here: the rules at the ends of their ranges.
TEST(Tables, SineReciprocalRootAndAberrationMask)
{
    sinTableBuild(), recipTableBuild(), sqrtTableBuild(), aberrationMaskBuild();
    EXPECT_EQ((std::vector<float>{sin_table[0], sin_table[1024], sin_table[3072]}), (std::vector<float>{0, 1, -1}));
    for (int i = 0; i < SIN_TABLE_SIZE; i++)
        ASSERT_LE(std::fabs(sin_table[i] - (float)std::sin(i * (2.0 * M_PI / 4096.0))), 1e-7f) << "entry " << i;
    EXPECT_EQ((Ints{recip_table[0], recip_table[1], recip_table[3], recip_table[5119]}), (Ints{0, 65536, 21845, 12}));
    for (auto [x, root] : {std::pair<double, double>{0.0, 0.0}, {4.0, 2.0}, {0.25, 0.5}, {1048576.0, 1024.0}})
        EXPECT_EQ(fastSqrt(x), root) << "root of " << x;
    // The table index holds 9 bits: the root may fall short by up to 2^-9;
    // the untouched low word can only lift it a hair above.
    for (double x = 0.001; x < 1e7; x *= 1.0137) {
        ASSERT_LE(fastSqrt(x), std::sqrt(x) * (1.0 + 1e-6)) << x;
        ASSERT_GE(fastSqrt(x), std::sqrt(x) * (1.0 - 1.0 / 512.0)) << x;
    }
    // Centre clear, edges full, growing outward; 245 at the left (249 with an exact root).
    for (auto [row, column, value] : {std::array<int, 3>{120, 0, 245}, {120, 80, 0}, {30, 0, 255}, {209, 159, 255}})
        EXPECT_EQ(aberrationMask[row][column], value) << "mask at row " << row << ", column " << column;
    for (int c = 80; c < 159; c++)
        ASSERT_LE(aberrationMask[120][c], aberrationMask[120][c + 1]) << c;
}

TEST(PointSprite, GreyDotFallingOffWithTheFourthPower)
{
    RenderView *view = nullptr;
    EXPECT_EQ(captured([&] { view = rnd_CreateView(), rnd_MakePointSprite(view); }), "10,10\n");
    ASSERT_NE(view, nullptr); // its clip lines: the raster line test; its size: the effects' golden frames
    ASSERT_NE(view->pointSprite, nullptr);
    EXPECT_EQ(view->pointSprite->format, BITMAP_GRAY8);
    const uint8_t *px = (const uint8_t *)view->pointSprite->pixels; // 5 away: 255/1296 truncates to 0; 3 away: 15
    EXPECT_EQ((Ints{px[0], px[0 * 10 + 5], px[2 * 10 + 5], px[5 * 10 + 5]}), (Ints{0, 0, 15, 255}))
        << "the corner, then column 5 at rows 0, 2 and 5 (the centre)";
    free(view->pointSprite->pixels), free(view->pointSprite), free(view);
}

TEST(Textures, CreateZeroFilledAndFreeOwnedBlocks)
{
    Texture *texture = txt_CreateTexture(7, 3, BITMAP_RGB32);
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(texture->bitmap, nullptr);
    EXPECT_EQ((Ints{texture->bitmap->width, texture->bitmap->height}), (Ints{7, 3}));
    const uint32_t *px = (const uint32_t *)texture->bitmap->pixels;
    EXPECT_EQ(std::count(px, px + 21, 0u), 21);
    texture->extraA = malloc(8); // freed with the texture (checked by the sanitizer build)
    txt_FreeTexture(texture), txt_FreeTexture(nullptr);
    Texture *grey = txt_CreateTexture(5, 5, BITMAP_GRAY8), *odd = txt_CreateTexture(5, 5, 7);
    EXPECT_NE(grey->bitmap->pixels, nullptr);
    EXPECT_EQ(odd->bitmap->pixels, nullptr) << "format 7 holds no pixels";
    EXPECT_EQ(txt_CreateTexture(-1, 5, BITMAP_RGB32), nullptr);
    txt_FreeTexture(grey), txt_FreeTexture(odd);
}
