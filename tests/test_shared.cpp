// Shared helpers and start-up tables: aligned blocks, the random sequence,
// truncation, tagged messages, sine/reciprocal/square-root tables and the
// aberration mask built from them.
#include "testutil.h"

#include "fx/fxtables.h"
#include "host/common.h"
#include "host/tables.h"
#include "post/post.h"
#include "render/view.h"

TEST(AllocAligned, ZeroFilledAlignedBlockWithLengthHeader)
{
    for (size_t size : {1u, 3u, 16u, 1000u}) {
        uint8_t *p = (uint8_t *)allocAligned(size, 1);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ((uintptr_t)p % 16, 0u);
        for (size_t i = 0; i < size; i++)
            ASSERT_EQ(p[i], 0);
        uint32_t header[4];
        memcpy(header, p - 16, sizeof header);
        EXPECT_EQ(header[0], size + 16);
        EXPECT_EQ(header[1] | header[2] | header[3], 0u);
        freeAligned(p);
    }
}

TEST(AllocAligned, RefusesEmptyAndOverflowingSizes)
{
    EXPECT_EQ(allocAligned(0, 4), nullptr);
    EXPECT_EQ(allocAligned(4, 0), nullptr);
    EXPECT_EQ(allocAligned(SIZE_MAX / 2, 4), nullptr);
    EXPECT_EQ(allocAligned((size_t)INT_MAX, 2), nullptr);
}

TEST(AllocAligned, AnnouncesBlocksOverOneMegabyte)
{
    testing::internal::CaptureStdout();
    void *small = allocAligned(1048576, 1);
    void *big = allocAligned(5 * 1048576 / 2, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "**allocating 2 MB\n");
    freeAligned(small);
    freeAligned(big);
}

TEST(Random, FollowsTheDemosLinearCongruentialSequence)
{
    // The classic run-time library sequence for seed 1.
    vt::srand(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int value : expected)
        EXPECT_EQ(vt::rand(), value);

    // Reseeding restarts the sequence; all results stay within 15 bits.
    vt::srand(0xFFFFFFFFu);
    int first = vt::rand();
    for (int i = 0; i < 10000; i++) {
        int v = vt::rand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
    vt::srand(0xFFFFFFFFu);
    EXPECT_EQ(vt::rand(), first);
}

TEST(Truncation, TowardZeroAndDefinedForValuesThatDoNotFit)
{
    EXPECT_EQ(truncInt(6.9), 6);
    EXPECT_EQ(truncInt(-0.5), 0);
    EXPECT_EQ(truncInt(-6.9), -6);
    EXPECT_EQ(truncInt(2147483647.0), INT32_MAX);
    EXPECT_EQ(truncInt(-2147483648.0), INT32_MIN);
    EXPECT_EQ(truncInt(2147483648.0), INT32_MIN);
    EXPECT_EQ(truncInt(NAN), INT32_MIN);
    EXPECT_EQ(truncInt(-INFINITY), INT32_MIN);
    EXPECT_EQ(truncInt(1e30), INT32_MIN);
}

TEST(TaggedMessage, NameAndRightAlignedLineThenQuotedTextOnOneLine)
{
    testing::internal::CaptureStdout();
    logTagged("timerCreateNode", 239, "Created %s", "frame");
    logTagged("dataSetBasePath", 56, "New base path for assets:<%s>", "");
    logTagged("CvarLoad", 12345, "Loading variables for source file <%s>\n", "post.vars");
    // Only the message text is escaped; a line quoted from a file keeps its newline.
    logTagged("CvarReadVariables", 7, "Invalid variable in file:%s, source:%s\n", "fx_time\n", "post.vars");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[timerCreateNode :  239]\"Created frame\"\n"
              "[dataSetBasePath :   56]\"New base path for assets:<>\"\n"
              "[CvarLoad : 12345]\"Loading variables for source file <post.vars>\\n\"\n"
              "[CvarReadVariables :    7]\"Invalid variable in file:fx_time\n, source:post.vars\\n\"\n");
}

TEST(Tables, SineCoversOneTurnInSinglePrecision)
{
    sinTableBuild();
    EXPECT_EQ(sin_table[0], 0.0f);
    EXPECT_EQ(sin_table[1024], 1.0f);
    EXPECT_EQ(sin_table[3072], -1.0f);
    EXPECT_LT(std::fabs(sin_table[2048]), 1e-6f);
    for (int i = 0; i < SIN_TABLE_SIZE; i++) {
        float reference = (float)std::sin(i * (2.0 * M_PI / 4096.0));
        ASSERT_LE(std::fabs(sin_table[i] - reference), 1e-7f) << "entry " << i;
    }
}

TEST(Tables, ReciprocalIsUnsignedDivisionWithZeroAtZero)
{
    recipTableBuild();
    EXPECT_EQ(recip_table[0], 0u);
    EXPECT_EQ(recip_table[1], 65536u);
    EXPECT_EQ(recip_table[3], 21845u);
    EXPECT_EQ(recip_table[256], 256u);
    EXPECT_EQ(recip_table[5119], 12u);
}

TEST(FastSqrt, ExactOnPowersOfFourAndWithinTwentyBits)
{
    sqrtTableBuild();
    EXPECT_EQ(fastSqrt(0.0), 0.0);
    EXPECT_EQ(fastSqrt(4.0), 2.0);
    EXPECT_EQ(fastSqrt(0.25), 0.5);
    EXPECT_EQ(fastSqrt(1048576.0), 1024.0);
    // The table index holds 9 bits: the root may fall short by up to 2^-9;
    // the untouched low word can only lift it a hair above.
    for (double x = 0.001; x < 1e7; x *= 1.0137) {
        double root = std::sqrt(x);
        double approx = fastSqrt(x);
        ASSERT_LE(approx, root * (1.0 + 1e-6)) << x;
        ASSERT_GE(approx, root * (1.0 - 1.0 / 512.0)) << x;
    }
}

TEST(AberrationMask, CentreClearEdgesFullAndTheTableRootShows)
{
    sqrtTableBuild();
    aberrationMaskBuild();
    EXPECT_EQ(aberrationMask[120][0], 245); // 249 with an exact root
    EXPECT_EQ(aberrationMask[120][79], 0);
    EXPECT_EQ(aberrationMask[120][80], 0);
    EXPECT_EQ(aberrationMask[30][0], 255);
    EXPECT_EQ(aberrationMask[30][159], 255);
    EXPECT_EQ(aberrationMask[209][0], 255);
    EXPECT_EQ(aberrationMask[209][159], 255);
    // Growing outward from the centre along the middle row.
    for (int c = 80; c < 159; c++)
        ASSERT_LE(aberrationMask[120][c], aberrationMask[120][c + 1]) << c;
}

TEST(PointSprite, GreyDotFallingOffWithTheFourthPower)
{
    testing::internal::CaptureStdout();
    RenderView *view = rnd_CreateView();
    ASSERT_NE(view, nullptr);
    rnd_MakePointSprite(view);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "10,10\n");
    EXPECT_EQ(view->width, 320);
    EXPECT_EQ(view->height, 240);
    EXPECT_EQ(view->clipY0, -1);
    EXPECT_EQ(view->clipY1, 239);
    EXPECT_EQ(view->clipX1, 320);
    Bitmap *sprite = view->pointSprite;
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->format, BITMAP_GRAY8);
    const uint8_t *px = (const uint8_t *)sprite->pixels;
    EXPECT_EQ(px[5 * 10 + 5], 255);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[0 * 10 + 5], 0);  // 5 away: 255/1296 truncates to 0
    EXPECT_EQ(px[2 * 10 + 5], 15); // 3 away
    free(sprite->pixels);
    free(sprite);
    free(view);
}

TEST(Textures, CreateZeroFilledAndFreeOwnedBlocks)
{
    Texture *texture = txt_CreateTexture(7, 3, BITMAP_RGB32);
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(texture->bitmap, nullptr);
    EXPECT_EQ(texture->bitmap->width, 7);
    EXPECT_EQ(texture->bitmap->height, 3);
    const uint32_t *px = (const uint32_t *)texture->bitmap->pixels;
    for (int i = 0; i < 21; i++)
        EXPECT_EQ(px[i], 0u);
    texture->extraA = malloc(8); // freed with the texture (checked by the sanitizer build)
    txt_FreeTexture(texture);
    txt_FreeTexture(nullptr);

    Texture *grey = txt_CreateTexture(5, 5, BITMAP_GRAY8);
    ASSERT_NE(grey->bitmap->pixels, nullptr);
    txt_FreeTexture(grey);
    Texture *odd = txt_CreateTexture(5, 5, 7);
    EXPECT_EQ(odd->bitmap->pixels, nullptr);
    txt_FreeTexture(odd);
    EXPECT_EQ(txt_CreateTexture(-1, 5, BITMAP_RGB32), nullptr);
}
