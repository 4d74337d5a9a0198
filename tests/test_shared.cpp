// Shared helpers and start-up tables: aligned blocks, the random sequence,
// truncation, tagged messages, sine/reciprocal/square-root tables and the
// aberration mask built from them.
#include "testutil.h"

#include "fx/fxtables.h"
#include "core/common.h"
#include "core/tables.h"
#include "post/post.h"
#include "render/view.h"

TEST(AllocAligned, ZeroFilledAlignedBlocksWithLengthHeaderRefusalsAndTheAnnouncement)
{
    for (size_t size : {1u, 3u, 16u, 1000u}) {
        uint8_t *p = (uint8_t *)allocAligned(size, 1);
        ASSERT_TRUE(p && (uintptr_t)p % 16 == 0 && std::count(p, p + size, 0) == (long)size);
        uint32_t header[4];
        memcpy(header, p - 16, sizeof header);
        EXPECT_TRUE(header[0] == size + 16 && (header[1] | header[2] | header[3]) == 0) << size;
        freeAligned(p);
    }
    for (auto [count, size] : {std::pair<size_t, size_t>{0, 4}, {4, 0}, {SIZE_MAX / 2, 4}, {(size_t)INT_MAX, 2}})
        EXPECT_EQ(allocAligned(count, size), nullptr) << count << " x " << size;
    void *small = nullptr, *big = nullptr;
    EXPECT_EQ(captured([&] { small = allocAligned(1048576, 1), big = allocAligned(5 * 1048576 / 2, 1); }),
              "**allocating 2 MB\n");
    freeAligned(small), freeAligned(big);
}

TEST(Random, FollowsTheDemosLinearCongruentialSequence)
{
    vt::srand(1); // the classic run-time library sequence for seed 1
    std::vector<int> values;
    for (int i = 0; i < 8; i++)
        values.push_back(vt::rand());
    EXPECT_EQ(values, (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358}));
    // Reseeding restarts the sequence; all results stay within 15 bits.
    vt::srand(0xFFFFFFFFu);
    int first = vt::rand();
    for (int i = 0; i < 10000; i++) {
        int v = vt::rand();
        ASSERT_TRUE(v >= 0 && v <= 32767) << v;
    }
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
                  logTagged("dataSetBasePath", 56, "New base path for assets:<%s>", "");
                  logTagged("CvarLoad", 12345, "Loading variables for source file <%s>\n", "post.vars");
                  // Only the message text is escaped; a line quoted from a file keeps its newline.
                  logTagged("CvarReadVariables", 7, "Invalid variable in file:%s, source:%s\n", "fx_time\n", "post.vars");
              }),
              "[timerCreateNode :  239]\"Created frame\"\n"
              "[dataSetBasePath :   56]\"New base path for assets:<>\"\n"
              "[CvarLoad : 12345]\"Loading variables for source file <post.vars>\\n\"\n"
              "[CvarReadVariables :    7]\"Invalid variable in file:fx_time\n, source:post.vars\\n\"\n");
}

// The sine, reciprocal and square-root tables and the aberration mask built
// from the root draw every effect and the post chain: their golden frames
// check them. Here: the rules at the ends of their ranges.
TEST(Tables, SineReciprocalRootAndAberrationMask)
{
    sinTableBuild(), recipTableBuild(), sqrtTableBuild(), aberrationMaskBuild();
    EXPECT_TRUE(sin_table[0] == 0.0f && sin_table[1024] == 1.0f && sin_table[3072] == -1.0f);
    for (int i = 0; i < SIN_TABLE_SIZE; i++)
        ASSERT_LE(std::fabs(sin_table[i] - (float)std::sin(i * (2.0 * M_PI / 4096.0))), 1e-7f) << "entry " << i;
    EXPECT_TRUE(recip_table[0] == 0u && recip_table[1] == 65536u && recip_table[3] == 21845u && recip_table[5119] == 12u);
    EXPECT_TRUE(fastSqrt(0.0) == 0.0 && fastSqrt(4.0) == 2.0 && fastSqrt(0.25) == 0.5 && fastSqrt(1048576.0) == 1024.0);
    // The table index holds 9 bits: the root may fall short by up to 2^-9;
    // the untouched low word can only lift it a hair above.
    for (double x = 0.001; x < 1e7; x *= 1.0137)
        ASSERT_TRUE(fastSqrt(x) <= std::sqrt(x) * (1.0 + 1e-6) && fastSqrt(x) >= std::sqrt(x) * (1.0 - 1.0 / 512.0)) << x;
    // Centre clear, edges full, growing outward; 245 at the left (249 with an exact root).
    EXPECT_TRUE(aberrationMask[120][0] == 245 && aberrationMask[120][80] == 0 && aberrationMask[30][0] == 255 &&
                aberrationMask[209][159] == 255);
    for (int c = 80; c < 159; c++)
        ASSERT_LE(aberrationMask[120][c], aberrationMask[120][c + 1]) << c;
}

TEST(PointSprite, GreyDotFallingOffWithTheFourthPower)
{
    RenderView *view = nullptr;
    EXPECT_EQ(captured([&] { view = rnd_CreateView(), rnd_MakePointSprite(view); }), "10,10\n");
    ASSERT_TRUE(view && view->width == 320 && view->height == 240 && view->clipY0 == -1 && view->clipY1 == 239 &&
                view->clipX1 == 320 && view->pointSprite && view->pointSprite->format == BITMAP_GRAY8);
    const uint8_t *px = (const uint8_t *)view->pointSprite->pixels; // 5 away: 255/1296 truncates to 0; 3 away: 15
    EXPECT_TRUE(px[5 * 10 + 5] == 255 && px[0] == 0 && px[0 * 10 + 5] == 0 && px[2 * 10 + 5] == 15);
    free(view->pointSprite->pixels), free(view->pointSprite), free(view);
}

TEST(Textures, CreateZeroFilledAndFreeOwnedBlocks)
{
    Texture *texture = txt_CreateTexture(7, 3, BITMAP_RGB32);
    ASSERT_TRUE(texture && texture->bitmap && texture->bitmap->width == 7 && texture->bitmap->height == 3);
    const uint32_t *px = (const uint32_t *)texture->bitmap->pixels;
    EXPECT_EQ(std::count(px, px + 21, 0u), 21);
    texture->extraA = malloc(8); // freed with the texture (checked by the sanitizer build)
    txt_FreeTexture(texture), txt_FreeTexture(nullptr);
    Texture *grey = txt_CreateTexture(5, 5, BITMAP_GRAY8), *odd = txt_CreateTexture(5, 5, 7);
    EXPECT_TRUE(grey->bitmap->pixels && !odd->bitmap->pixels && !txt_CreateTexture(-1, 5, BITMAP_RGB32));
    txt_FreeTexture(grey), txt_FreeTexture(odd);
}
