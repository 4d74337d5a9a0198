// Pixel filters: blurs, luminance and edges, blits and the picture copy, each
// kernel against its scalar reference.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/common.h"
#include "post/filter.h"
#include "post/filter_local.h"
#include "render/bitmap.h"

namespace {

const uint32_t kGuard = 0xDEADBEEFu;
const int kCoefs[] = {0, 1, 127, 128, 254, 255};

// A frame block as the display allocates it, guard rows set to a sentinel.
namespace {
struct GuardedFrame {
    uint32_t *block;
    uint32_t *pixels; // frame row 0
    GuardedFrame() : block((uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4)), pixels(block + FRAME_GUARD_PIXELS)
    {
        fill(0);
    }
    ~GuardedFrame() { freeAligned(block); }
    GuardedFrame(const GuardedFrame &) = delete;
    GuardedFrame &operator=(const GuardedFrame &) = delete;
    void fill(uint32_t value)
    {
        for (int i = 0; i < FRAME_BLOCK_PIXELS; i++)
            block[i] = i < FRAME_GUARD_PIXELS || i >= FRAME_GUARD_PIXELS + FRAME_WIDTH * FRAME_HEIGHT ? kGuard : value;
    }
    uint32_t &at(int x, int y) { return pixels[y * FRAME_WIDTH + x]; }
    uint32_t *picture() { return pixels + PICTURE_OFFSET_PIXELS; }
    bool guardsIntact() const
    {
        for (int i = 0; i < FRAME_GUARD_PIXELS; i++)
            if (block[i] != kGuard || block[FRAME_BLOCK_PIXELS - 1 - i] != kGuard)
                return false;
        return true;
    }
    void copyFrom(const GuardedFrame &other) { memcpy(block, other.block, FRAME_BLOCK_PIXELS * 4); }
    bool sameAs(const GuardedFrame &other) const { return memcmp(block, other.block, FRAME_BLOCK_PIXELS * 4) == 0; }
};
} // namespace

// Random bytes of four kinds: anything, only 0 and 255, only the values
// where lanes and clamps turn, and a smooth ramp with noise.
uint32_t randomPixel(std::mt19937 &rng, int kind, int i)
{
    static const uint8_t extremes[] = {0, 1, 127, 128, 254, 255};
    uint32_t p = 0;
    for (int b = 0; b < 4; b++) {
        uint32_t v;
        switch (kind & 3) {
        case 0: v = rng() & 255; break;
        case 1: v = (rng() & 1) ? 255 : 0; break;
        case 2: v = extremes[rng() % 6]; break;
        default: v = ((i >> 3) + (int)(rng() % 9)) & 255; break;
        }
        p |= v << (8 * b);
    }
    return p;
}

void randomFrame(GuardedFrame &f, uint32_t seed)
{
    std::mt19937 rng(seed);
    for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; i++)
        f.pixels[i] = randomPixel(rng, (int)seed, i);
}

struct OwnedBitmap {
    Texture *texture;
    OwnedBitmap(int w, int h, int format = BITMAP_RGB32) : texture(txt_CreateTexture(w, h, format)) {}
    ~OwnedBitmap() { txt_FreeTexture(texture); }
    Bitmap *get() { return texture->bitmap; }
    uint32_t *pixels() { return (uint32_t *)texture->bitmap->pixels; }
};

class Filter : public ::testing::Test {
protected:
    FilterParams params;
    void SetUp() override
    {
        memset(&params, 0, sizeof params);
        params.width = FRAME_WIDTH;
        params.height = FRAME_HEIGHT;
        params.mask = 0xFFFF;
        filterParams = &params;
        flt_Kernels = &flt_KernelsSSE2;
    }
    void TearDown() override
    {
        filterParams = nullptr;
        flt_Kernels = &flt_KernelsSSE2;
    }
    // Runs the same filter call on two copies of a frame, once through each
    // kernel set, and expects identical blocks.
    template <class Run> void expectKernelsAgree(const GuardedFrame &start, Run run, const char *what)
    {
        GuardedFrame sse2, ref;
        sse2.copyFrom(start);
        ref.copyFrom(start);
        flt_Kernels = &flt_KernelsSSE2;
        run(sse2);
        flt_Kernels = &flt_KernelsRef;
        run(ref);
        flt_Kernels = &flt_KernelsSSE2;
        EXPECT_TRUE(sse2.sameAs(ref)) << what;
        EXPECT_TRUE(sse2.guardsIntact()) << what;
    }
};

// ---------------------------------------------------------------------------
// Blurs
// ---------------------------------------------------------------------------

TEST_F(Filter, CoefficientsClampToAByteAndSetTheMask)
{
    params.mask = 0;
    filterSetCoefficients(-5, 300);
    EXPECT_EQ(params.coefH, 0);
    EXPECT_EQ(params.coefV, 255);
    EXPECT_EQ(params.mask, 0xFFFF);
    filterSetCoefficients(128, 7);
    EXPECT_EQ(params.coefH, 128);
    EXPECT_EQ(params.coefV, 7);

    // Without the host's record nothing is written and no blur runs.
    filterParams = nullptr;
    filterSetCoefficients(1, 1);
    GuardedFrame f, before;
    randomFrame(f, 3);
    before.copyFrom(f);
    blurRowsH(f.pixels, f.pixels, 0, 239);
    blurRowsV(f.pixels, f.pixels, 0, 239);
    EXPECT_TRUE(f.sameAs(before));
}

TEST_F(Filter, BlurWithCoefficientZeroCopiesAndThresholdSubtractsOnce)
{
    GuardedFrame src, dst;
    randomFrame(src, 11);
    for (int vertical = 0; vertical < 2; vertical++) {
        dst.fill(0x12345678u);
        params.threshold = 0;
        vertical ? blurRowsV(src.pixels, dst.pixels, 30, 209) : blurRowsH(src.pixels, dst.pixels, 30, 209);
        for (int y = 0; y < FRAME_HEIGHT; y++)
            for (int x = 0; x < FRAME_WIDTH; x++)
                ASSERT_EQ(dst.at(x, y), y >= 30 && y <= 209 ? src.at(x, y) : 0x12345678u)
                    << "vertical " << vertical << " at " << x << "," << y;
        EXPECT_TRUE(dst.guardsIntact());

        // Threshold per byte, saturating at 0; the backward pass reads its own
        // output without subtracting again.
        params.threshold = 0x10203040u;
        src.at(5, 40) = 0x80402010u;
        src.at(6, 40) = 0x0F1F2F3Fu;
        src.at(7, 40) = 0xFFFFFFFFu;
        vertical ? blurRowsV(src.pixels, dst.pixels, 30, 209) : blurRowsH(src.pixels, dst.pixels, 30, 209);
        EXPECT_EQ(dst.at(5, 40), 0x70200000u);
        EXPECT_EQ(dst.at(6, 40), 0u);
        EXPECT_EQ(dst.at(7, 40), 0xEFDFCFBFu);
    }
}

TEST_F(Filter, HorizontalBlurGoldenRows)
{
    GuardedFrame f;
    // Coefficient 128: each step keeps half the difference, floors included.
    params.coefH = 128;
    f.at(0, 100) = 0x000000FFu;
    blurRowsH(f.pixels, f.pixels, 100, 101);
    const uint32_t fade[] = {169, 84, 41, 20, 9, 4, 1, 0, 0};
    for (int x = 0; x < 9; x++)
        EXPECT_EQ(f.at(x, 100), fade[x]) << x;

    // Coefficient 64 spreads one white pixel to both sides, mostly forward.
    f.fill(0);
    params.coefH = 64;
    f.at(160, 50) = 0xFFFFFFFFu;
    blurRowsH(f.pixels, f.pixels, 50, 51);
    const uint32_t spread[] = {0, 0, 2, 9, 38, 152, 37, 8, 1, 0, 0};
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(f.at(155 + i, 50), spread[i] * 0x01010101u) << 155 + i;

    // Coefficient 255 moves 1/256 per pixel: a lone white pixel falls below
    // one level everywhere, a run of 20 spreads over the whole row.
    f.fill(0);
    params.coefH = 255;
    f.at(160, 60) = 0xFFFFFFFFu;
    for (int x = 150; x < 170; x++)
        f.at(x, 61) = 0xFFFFFFFFu;
    blurRowsH(f.pixels, f.pixels, 60, 61);
    for (int x = 0; x < FRAME_WIDTH; x++)
        ASSERT_EQ(f.at(x, 60), 0u) << x;
    const struct {
        int x;
        uint32_t level;
    } run[] = {{0, 5}, {100, 8}, {149, 10}, {160, 10}, {170, 10}, {250, 9}, {319, 9}};
    for (const auto &r : run)
        EXPECT_EQ(f.at(r.x, 61), r.level * 0x01010101u) << r.x;

    // The pair kernels directly, on a 16-pixel step with coefficient 200.
    for (BlurPairHFn pair : {flt_BlurPairHSSE2, flt_BlurPairHRef}) {
        uint32_t row[16];
        for (int x = 0; x < 16; x++)
            row[x] = x < 8 ? 0 : 0x000000FFu;
        pair(row, row, row, row, 16, 200, 0);
        const uint32_t step[] = {19, 24, 31, 40, 52, 66, 85, 109, 139, 163, 181, 195, 205, 212, 217, 219};
        for (int x = 0; x < 16; x++)
            EXPECT_EQ(row[x], step[x]) << x;
    }
}

TEST_F(Filter, HorizontalBlurRowRangesAndTheExtraRow)
{
    params.coefH = 200;
    struct Case {
        int first, last;
        int firstChanged, lastChanged; // frame rows the blur may change
    } cases[] = {
        {30, 209, 30, 209},  // the post chain: even count
        {0, 238, 0, 239},    // the voxel landscape: odd count, row 239 too
        {30, 208, 30, 209},  // odd count
        {239, 239, 239, 239}, // the extra row would leave the frame
        {-10, 5, 0, 5},      // rows above the frame are not the blur's
        {200, 400, 200, 239},
        {100, 99, -1, -1},   // nothing
    };
    for (const Case &c : cases) {
        GuardedFrame f, before;
        randomFrame(f, 5);
        before.copyFrom(f);
        blurRowsH(f.pixels, f.pixels, c.first, c.last);
        EXPECT_TRUE(f.guardsIntact()) << c.first << ".." << c.last;
        for (int y = 0; y < FRAME_HEIGHT; y++) {
            bool changed = memcmp(&f.at(0, y), &before.at(0, y), FRAME_PITCH) != 0;
            EXPECT_EQ(changed, y >= c.firstChanged && y <= c.lastChanged) << c.first << ".." << c.last << " row " << y;
        }
    }
    // The host creates the record with 123456 in coefH: read as 255.
    GuardedFrame a, b;
    randomFrame(a, 6);
    b.copyFrom(a);
    params.coefH = 123456;
    blurRowsH(a.pixels, a.pixels, 30, 209);
    params.coefH = 255;
    blurRowsH(b.pixels, b.pixels, 30, 209);
    EXPECT_TRUE(a.sameAs(b));
}

TEST_F(Filter, VerticalBlurGoldenColumnAndRowRange)
{
    GuardedFrame f;
    params.coefV = 128;
    f.at(77, 100) = 200 * 0x01010101u;
    blurRowsV(f.pixels, f.pixels, 30, 209);
    const uint32_t column[] = {0, 0, 0, 0, 1, 2, 4, 8, 16, 33, 66, 33, 16, 7, 3, 1, 0, 0, 0, 0};
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(f.at(77, 90 + i), column[i] * 0x01010101u) << "row " << 90 + i;
    for (int y = 0; y < FRAME_HEIGHT; y++) // no spreading across columns
        ASSERT_TRUE(f.at(76, y) == 0 && f.at(78, y) == 0) << y;

    // The accumulators start at firstRow: bright rows just outside the range
    // reach neither end of it.
    f.fill(0);
    params.coefV = 255;
    for (int x = 0; x < FRAME_WIDTH; x++)
        f.at(x, 99) = f.at(x, 121) = 0xFFFFFFFFu;
    blurRowsV(f.pixels, f.pixels, 100, 120);
    for (int y = 100; y <= 120; y++)
        for (int x = 0; x < FRAME_WIDTH; x++)
            ASSERT_EQ(f.at(x, y), 0u) << x << "," << y;
    EXPECT_EQ(f.at(0, 99), 0xFFFFFFFFu);
    EXPECT_EQ(f.at(319, 121), 0xFFFFFFFFu);

    // Out-of-frame ranges are cut to the frame's rows.
    randomFrame(f, 8);
    blurRowsV(f.pixels, f.pixels, -32, 271);
    EXPECT_TRUE(f.guardsIntact());
}

// ---------------------------------------------------------------------------
// Luminance and edges
// ---------------------------------------------------------------------------

TEST_F(Filter, LumaWeighsGreenTwice)
{
    uint32_t pixels[FRAME_WIDTH] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFFFFFFFFu, 0xFF000000u, 0x00010203u};
    uint8_t out[FRAME_WIDTH];
    lumaRow(pixels, out);
    const uint8_t expected[] = {63, 127, 63, 255, 0, 2, 0};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(out[i], expected[i]) << i;
}

TEST_F(Filter, EdgesOfUniformGreyOnlyAtTheSideBorders)
{
    for (int additive = 0; additive < 2; additive++) {
        GuardedFrame f;
        f.fill(0x14141414u); // grey 20, frame row 210 included
        edgeDetect(f.picture(), 0, additive);
        // Against the black outside: gx = 4 * 20, (16 * 80)^2 / 65536 = 25.
        const uint32_t border = additive ? 0x2D2D2D2Du : 0x19191919u;
        const uint32_t inside = additive ? 0x14141414u : 0u;
        for (int y = 30; y < 210; y++)
            for (int x = 0; x < FRAME_WIDTH; x++)
                ASSERT_EQ(f.at(x, y), x == 0 || x == 319 ? border : inside) << additive << " " << x << "," << y;
        EXPECT_EQ(f.at(5, 29), 0x14141414u);
        EXPECT_EQ(f.at(5, 210), 0x14141414u);
        EXPECT_TRUE(f.guardsIntact());
    }
}

TEST_F(Filter, EdgesSeeThePictureAsItWasAndRowZeroAboveItself)
{
    // A white line on picture row 50: rows 49 and 51 light up, the line itself
    // has no vertical gradient (and would, were row 49 read after writing).
    GuardedFrame f;
    for (int x = 0; x < FRAME_WIDTH; x++)
        f.at(x, 80) = 0xFFFFFFFFu;
    edgeDetect(f.picture(), 4, 0);
    const struct {
        int y, x;
        uint32_t grey;
    } line[] = {{78, 160, 0}, {79, 0, 0x9E}, {79, 1, 0xFE}, {79, 160, 0xFE}, {79, 319, 0x9E},
                {80, 0, 0x3F}, {80, 160, 0}, {80, 319, 0x3F}, {81, 1, 0xFE}, {82, 160, 0}};
    for (const auto &p : line)
        EXPECT_EQ(f.at(p.x, p.y), p.grey * 0x01010101u) << p.x << "," << p.y;

    // White picture row 0 and frame row 210: the top row is its own upper
    // neighbour, the bottom row sees the row below the picture.
    f.fill(0);
    for (int x = 0; x < FRAME_WIDTH; x++)
        f.at(x, 30) = f.at(x, 210) = 0x00FFFFFFu;
    edgeDetect(f.picture(), 4, 0);
    EXPECT_EQ(f.at(0, 30), 0xFFFFFFFFu);
    EXPECT_EQ(f.at(5, 30), 0xFEFEFEFEu);
    EXPECT_EQ(f.at(5, 31), 0xFEFEFEFEu);
    EXPECT_EQ(f.at(5, 32), 0u);
    EXPECT_EQ(f.at(5, 208), 0u);
    EXPECT_EQ(f.at(0, 209), 0x9E9E9E9Eu);
    EXPECT_EQ(f.at(5, 209), 0xFEFEFEFEu);
    EXPECT_EQ(f.at(5, 210), 0x00FFFFFFu);
}

TEST_F(Filter, EdgeShiftOutsideZeroToFifteenLeavesNoMagnitude)
{
    for (int shift : {16, 17, 1000, -1, INT32_MIN}) {
        GuardedFrame f, before;
        randomFrame(f, 21);
        before.copyFrom(f);
        edgeDetect(f.picture(), shift, 1);
        EXPECT_TRUE(f.sameAs(before)) << "additive, shift " << shift;
        edgeDetect(f.picture(), shift, 0);
        for (int i = 0; i < FRAME_WIDTH * PICTURE_ROWS; i++)
            ASSERT_EQ(f.picture()[i], 0u) << "shift " << shift << " pixel " << i;
        EXPECT_EQ(f.at(3, 210), before.at(3, 210));
    }
}

// ---------------------------------------------------------------------------
// Blits
// ---------------------------------------------------------------------------

TEST_F(Filter, BlitGoldenPixels)
{
    const struct {
        int mode;
        uint32_t d, s;
        int32_t arg; // k or alpha
        uint32_t out;
    } cases[] = {
        {BLIT_COPY, 0x11111111u, 0x80604020u, 0, 0x80604020u},
        {BLIT_ADD_MINUS, 0x10203040u, 0x80808080u, 0x30, 0x60708090u},
        {BLIT_ADD_MINUS, 0xF0F0F0F0u, 0x50505050u, 0x10, 0xFFFFFFFFu},  // sum saturates
        {BLIT_ADD_MINUS, 0x10203040u, 0xFFFFFFFFu, 255, 0x10203040u},   // k = 255 adds nothing
        {BLIT_ADD_MINUS, 0x10203040u, 0x80808080u, 0x130, 0x60708090u}, // only the low byte of k
        {BLIT_SUB_PLUS, 0x80808080u, 0x10203040u, 0x10, 0x60504030u},
        {BLIT_SUB_PLUS, 0x10FFFFFFu, 0x10F0F000u, 0x20, 0x000000DFu},   // s + k saturates, d - .. at 0
        {BLIT_MINUS, 0x12345678u, 0x80604020u, 0x30, 0x50301000u},
        {BLIT_MINUS, 0x12345678u, 0x80604020u, 0, 0x80604020u},
        {BLIT_ALPHA, 0x00000000u, 0xFF808080u, 255, 0xFD7F7F7Fu},       // weight 32512
        {BLIT_ALPHA, 0xFFFFFFFFu, 0x80000000u, 200, 0xCD9B9B9Bu},       // weight 12800
        {BLIT_ALPHA, 0x01010101u, 0x01000000u, 255, 0x01000000u},       // floor of -0.25 is -1
        {BLIT_ALPHA, 0x01010101u, 0x01000000u, 1, 0x01010101u},         // weight 0
        {BLIT_ALPHA, 0x12345678u, 0x00FFFFFFu, 255, 0x12345678u},       // sa = 0: untouched
        {BLIT_ALPHA, 0x00000000u, 0xFF808080u, 1000, 0xFD7F7F7Fu},      // alpha beyond 255 is 255
        {BLIT_ALPHA, 0x12345678u, 0xFF808080u, -7, 0x12345678u},        // below 0 is 0
    };
    for (const auto &c : cases) {
        for (const FilterKernels *set : {&flt_KernelsSSE2, &flt_KernelsRef}) {
            flt_Kernels = set;
            GuardedFrame f;
            OwnedBitmap bm(9, 2); // wide enough for the packed loop and its tail
            for (int i = 0; i < 18; i++)
                bm.pixels()[i] = c.s;
            f.fill(c.d);
            uint32_t *picture = f.picture();
            switch (c.mode) {
            case BLIT_COPY: blitCopy(picture, PICTURE_ROWS, bm.get(), 3, 4); break;
            case BLIT_ADD_MINUS: blitAddMinus(picture, bm.get(), 3, 4, c.arg); break;
            case BLIT_SUB_PLUS: blitSubPlus(picture, bm.get(), 3, 4, c.arg); break;
            case BLIT_ALPHA: blitAlpha(picture, bm.get(), 3, 4, c.arg); break;
            case BLIT_MINUS: blitMinus(picture, bm.get(), 3, 4, c.arg); break;
            }
            const char *kernels = set == &flt_KernelsRef ? "ref" : "sse2";
            EXPECT_EQ(f.at(3, 34), c.out) << "mode " << c.mode << " arg " << c.arg << " " << kernels;
            EXPECT_EQ(f.at(11, 35), c.out) << "mode " << c.mode << " arg " << c.arg << " " << kernels;
            EXPECT_EQ(f.at(2, 34), c.d);
            EXPECT_EQ(f.at(12, 35), c.d);
            EXPECT_EQ(f.at(3, 36), c.d);
        }
    }
}

TEST_F(Filter, BlitCopyAtMinusTenDrawsTheRightHalf)
{
    GuardedFrame f;
    OwnedBitmap bm(20, 3);
    for (int i = 0; i < 60; i++)
        bm.pixels()[i] = 0x01000000u + (uint32_t)i;
    blitCopy(f.pixels, FRAME_HEIGHT, bm.get(), -10, 0);
    for (int y = 0; y < 3; y++) {
        for (int x = 0; x < 10; x++)
            EXPECT_EQ(f.at(x, y), 0x01000000u + (uint32_t)(y * 20 + 10 + x));
        EXPECT_EQ(f.at(10, y), 0u);
    }
}

// Every blit against the plain rule "source pixel (i, j) lands at (x + i,
// y + j) when that lies in 320 x clip height", at positions around and far
// beyond each edge. Bitmaps are allocated to their exact size, so a read past
// them shows under the address sanitiser.
TEST_F(Filter, BlitsClipToTheFrameAndTheBitmap)
{
    enum { LANDS_AS_SOURCE, LANDS_INVERTED, LANDS_CHANGED };
    typedef void (*Blit)(uint32_t *dst, const Bitmap *bitmap, int32_t x, int32_t y);
    const struct {
        const char *name;
        bool wholeFrame; // drawn through frame row 0, else through the picture
        int clipHeight;
        uint32_t before;
        int lands;
        Blit blit;
    } blits[] = {
        {"copy, 200 rows", true, 200, 0, LANDS_AS_SOURCE,
         [](uint32_t *d, const Bitmap *b, int32_t x, int32_t y) { blitCopy(d, 200, b, x, y); }},
        {"copy, taller than a frame", true, FRAME_HEIGHT, 0, LANDS_AS_SOURCE,
         [](uint32_t *d, const Bitmap *b, int32_t x, int32_t y) { blitCopy(d, 100000, b, x, y); }},
        {"add-minus", false, PICTURE_ROWS, 0, LANDS_AS_SOURCE,
         [](uint32_t *d, const Bitmap *b, int32_t x, int32_t y) { blitAddMinus(d, b, x, y, 0); }},
        {"sub-plus", false, PICTURE_ROWS, 0xFFFFFFFFu, LANDS_INVERTED,
         [](uint32_t *d, const Bitmap *b, int32_t x, int32_t y) { blitSubPlus(d, b, x, y, 0); }},
        {"alpha", false, PICTURE_ROWS, 0, LANDS_CHANGED,
         [](uint32_t *d, const Bitmap *b, int32_t x, int32_t y) { blitAlpha(d, b, x, y, 255); }},
        {"minus", false, PICTURE_ROWS, 0, LANDS_AS_SOURCE,
         [](uint32_t *d, const Bitmap *b, int32_t x, int32_t y) { blitMinus(d, b, x, y, 0); }},
    };
    const int32_t xs[] = {INT32_MIN, -400, -20, -19, -1, 0, 1, 300, 319, 320, INT32_MAX};
    const int32_t ys[] = {INT32_MIN, -300, -10, -1, 0, 5, 179, 180, 239, 240, INT32_MAX};
    const struct {
        int w, h;
    } sizes[] = {{20, 10}, {1, 1}, {400, 300}};
    for (const auto &size : sizes) {
        OwnedBitmap bm(size.w, size.h);
        for (int j = 0; j < size.h; j++) // every byte non-zero and every pixel different
            for (int i = 0; i < size.w; i++)
                bm.pixels()[j * size.w + i] = (uint32_t)(j / 255 + 0x11) << 24 | (uint32_t)(i / 255 + 1) << 16 |
                                              (uint32_t)(j % 255 + 1) << 8 | (uint32_t)(i % 255 + 1);
        for (const auto &c : blits) {
            for (int32_t x : xs) {
                for (int32_t y : ys) {
                    GuardedFrame f;
                    f.fill(c.before);
                    uint32_t *dst = c.wholeFrame ? f.pixels : f.picture();
                    c.blit(dst, bm.get(), x, y);
                    ASSERT_TRUE(f.guardsIntact()) << c.name << " at " << x << "," << y;
                    const int dstRows = c.wholeFrame ? FRAME_HEIGHT : FRAME_HEIGHT - PICTURE_FIRST_ROW;
                    int wrong = 0, firstX = -1, firstY = -1;
                    for (int Y = 0; Y < dstRows; Y++) {
                        for (int X = 0; X < FRAME_WIDTH; X++) {
                            int64_t i = (int64_t)X - x, j = (int64_t)Y - y;
                            bool inside = Y < c.clipHeight && i >= 0 && i < size.w && j >= 0 && j < size.h;
                            uint32_t got = dst[Y * FRAME_WIDTH + X], s = inside ? bm.pixels()[j * size.w + i] : 0;
                            bool ok = !inside                       ? got == c.before
                                      : c.lands == LANDS_AS_SOURCE ? got == s
                                      : c.lands == LANDS_INVERTED  ? got == ~s // 255 - s in every byte
                                                                   : got != c.before;
                            if (!ok && wrong++ == 0)
                                firstX = X, firstY = Y;
                        }
                    }
                    EXPECT_EQ(wrong, 0) << c.name << ", bitmap " << size.w << "x" << size.h << " at " << x << ","
                                        << y << ": first wrong pixel " << firstX << "," << firstY;
                }
            }
        }
    }
}

TEST_F(Filter, BlitsRefuseWhatTheyCannotRead)
{
    GuardedFrame f, before;
    randomFrame(f, 31);
    before.copyFrom(f);
    OwnedBitmap gray(8, 8, BITMAP_GRAY8), rgb(8, 8), empty(0, 5);
    Bitmap nullPixels = {8, 8, nullptr, BITMAP_RGB32};
    Bitmap negative = {-8, 8, rgb.get()->pixels, BITMAP_RGB32};
    for (const Bitmap *b : {(const Bitmap *)nullptr, (const Bitmap *)gray.get(), (const Bitmap *)empty.get(),
                            (const Bitmap *)&nullPixels, (const Bitmap *)&negative}) {
        blitCopy(f.pixels, FRAME_HEIGHT, b, 0, 0);
        blitAddMinus(f.picture(), b, 0, 0, 0);
        blitSubPlus(f.picture(), b, 0, 0, 0);
        blitAlpha(f.picture(), b, 0, 0, 255);
        blitMinus(f.picture(), b, 0, 0, 0);
    }
    blitCopy(f.pixels, 0, rgb.get(), 0, 0); // no rows to draw into
    blitCopy(f.pixels, -5, rgb.get(), 0, 0);
    blitCopy(nullptr, FRAME_HEIGHT, rgb.get(), 0, 0);
    blitGray(f.pixels, rgb.get()); // wrong format
    blitGray(f.pixels, &negative);
    blitGray(f.pixels, nullptr);
    EXPECT_TRUE(f.sameAs(before));
}

TEST_F(Filter, GrayBlitExpandsBytesAndClipsToTheFrame)
{
    for (const FilterKernels *set : {&flt_KernelsSSE2, &flt_KernelsRef}) {
        flt_Kernels = set;
        GuardedFrame f;
        OwnedBitmap bm(400, 300, BITMAP_GRAY8);
        uint8_t *v = (uint8_t *)bm.get()->pixels;
        for (int i = 0; i < 400 * 300; i++)
            v[i] = (uint8_t)(i * 7);
        blitGray(f.pixels, bm.get());
        EXPECT_TRUE(f.guardsIntact());
        for (int y = 0; y < FRAME_HEIGHT; y++)
            for (int x = 0; x < FRAME_WIDTH; x++)
                ASSERT_EQ(f.at(x, y), 0xFF000000u | v[y * 400 + x] * 0x010101u) << x << "," << y;

        f.fill(0);
        OwnedBitmap small(19, 2, BITMAP_GRAY8);
        uint8_t *s = (uint8_t *)small.get()->pixels;
        s[0] = 0;
        s[1] = 0x7F;
        s[18] = 0xFF;
        s[19] = 0x80;
        blitGray(f.pixels, small.get());
        EXPECT_EQ(f.at(0, 0), 0xFF000000u);
        EXPECT_EQ(f.at(1, 0), 0xFF7F7F7Fu);
        EXPECT_EQ(f.at(18, 0), 0xFFFFFFFFu);
        EXPECT_EQ(f.at(0, 1), 0xFF808080u);
        EXPECT_EQ(f.at(19, 0), 0u);
        EXPECT_EQ(f.at(0, 2), 0u);
    }
}

TEST_F(Filter, PictureCopyMovesExactlyThePicture)
{
    GuardedFrame a, b;
    randomFrame(a, 41);
    b.fill(0x55555555u);
    pictureCopy(b.picture(), a.picture());
    for (int y = 0; y < FRAME_HEIGHT; y++)
        for (int x = 0; x < FRAME_WIDTH; x++)
            ASSERT_EQ(b.at(x, y), y >= 30 && y < 210 ? a.at(x, y) : 0x55555555u) << x << "," << y;
    EXPECT_TRUE(b.guardsIntact());
}

// ---------------------------------------------------------------------------
// SSE2 kernels against their scalar references
// ---------------------------------------------------------------------------

std::vector<uint32_t> randomRow(std::mt19937 &rng, int n, int kind)
{
    std::vector<uint32_t> row(n);
    for (int i = 0; i < n; i++)
        row[i] = randomPixel(rng, kind, i);
    return row;
}

// Lengths that cover empty rows, every tail length of the packed loops and full rows.
std::vector<int> rowLengths()
{
    std::vector<int> n;
    for (int i = 0; i <= 40; i++)
        n.push_back(i);
    n.push_back(FRAME_WIDTH);
    return n;
}

TEST_F(Filter, SimdBlurKernelsMatchTheirReferences)
{
    for (uint32_t seed = 0; seed < 24; seed++) {
        std::mt19937 rng(seed);
        const uint32_t threshold = seed % 3 == 0 ? 0 : seed % 3 == 1 ? 0xFFFFFFFFu : randomPixel(rng, (int)seed, 0);
        for (int n : {1, 2, 7, 33, (int)FRAME_WIDTH}) {
            for (int coef : kCoefs) {
                std::vector<uint32_t> a = randomRow(rng, n, (int)seed), b = randomRow(rng, n, (int)seed + 1);
                for (int paired = 0; paired < 2; paired++) { // two rows, or one row with itself in place
                    std::vector<uint32_t> a1 = a, b1 = paired ? a : b, a2 = a1, b2 = b1;
                    std::vector<uint32_t> outA1(n), outB1(n), outA2(n), outB2(n);
                    if (paired) {
                        flt_BlurPairHSSE2(a1.data(), a1.data(), a1.data(), a1.data(), n, coef, threshold);
                        flt_BlurPairHRef(a2.data(), a2.data(), a2.data(), a2.data(), n, coef, threshold);
                        ASSERT_EQ(a1, a2) << "seed " << seed << " n " << n << " coef " << coef;
                    } else {
                        flt_BlurPairHSSE2(a1.data(), b1.data(), outA1.data(), outB1.data(), n, coef, threshold);
                        flt_BlurPairHRef(a2.data(), b2.data(), outA2.data(), outB2.data(), n, coef, threshold);
                        ASSERT_EQ(outA1, outA2) << "seed " << seed << " n " << n << " coef " << coef;
                        ASSERT_EQ(outB1, outB2) << "seed " << seed << " n " << n << " coef " << coef;
                    }
                }
            }
        }
        for (int rows : {1, 2, 5, (int)FRAME_HEIGHT}) {
            for (int coef : kCoefs) {
                std::vector<uint32_t> src = randomRow(rng, rows * FRAME_WIDTH, (int)seed);
                std::vector<uint32_t> d1(rows * FRAME_WIDTH, 7u), d2 = d1, s1 = src, s2 = src;
                alignas(16) int16_t acc1[FILTER_STRIP_LANES], acc2[FILTER_STRIP_LANES];
                int column = (int)(rng() % 40) * 8;
                flt_BlurStripVSSE2(src.data() + column, d1.data() + column, rows, coef, threshold, acc1);
                flt_BlurStripVRef(src.data() + column, d2.data() + column, rows, coef, threshold, acc2);
                ASSERT_EQ(d1, d2) << "seed " << seed << " rows " << rows << " coef " << coef;
                ASSERT_EQ(memcmp(acc1, acc2, sizeof acc1), 0) << "seed " << seed << " coef " << coef;
                flt_BlurStripVSSE2(s1.data() + column, s1.data() + column, rows, coef, threshold, acc1); // in place
                flt_BlurStripVRef(s2.data() + column, s2.data() + column, rows, coef, threshold, acc2);
                ASSERT_EQ(s1, s2) << "in place, seed " << seed << " rows " << rows << " coef " << coef;
            }
        }
    }
}

TEST_F(Filter, SimdRowKernelsMatchTheirReferences)
{
    const int32_t levels[] = {0, 1, 127, 128, 254, 255};
    for (uint32_t seed = 0; seed < 16; seed++) {
        std::mt19937 rng(seed + 1000);
        for (int n : rowLengths()) {
            for (int offset = 0; offset < 4; offset += 3) { // aligned and unaligned rows
                std::vector<uint32_t> src = randomRow(rng, n + offset, (int)seed);
                std::vector<uint32_t> dst = randomRow(rng, n + offset, (int)seed + 2);
                const uint32_t *s = src.data() + offset;
                std::string what = "seed " + std::to_string(seed) + " n " + std::to_string(n);

                std::vector<uint8_t> l1(n + offset, 9), l2 = l1;
                flt_LumaRowSSE2(s, l1.data() + offset, n);
                flt_LumaRowRef(s, l2.data() + offset, n);
                ASSERT_EQ(l1, l2) << "luma " << what;

                for (int level : levels) {
                    uint32_t k4 = (uint32_t)level * 0x01010101u;
                    const struct {
                        BlitRowFn sse2, ref;
                        const char *name;
                    } blits[] = {{flt_CopyRowSSE2, flt_CopyRowRef, "copy"},
                                 {flt_AddMinusRowSSE2, flt_AddMinusRowRef, "add-minus"},
                                 {flt_SubPlusRowSSE2, flt_SubPlusRowRef, "sub-plus"},
                                 {flt_MinusRowSSE2, flt_MinusRowRef, "minus"}};
                    for (const auto &blit : blits) {
                        std::vector<uint32_t> d1 = dst, d2 = dst;
                        blit.sse2(d1.data() + offset, s, n, k4);
                        blit.ref(d2.data() + offset, s, n, k4);
                        ASSERT_EQ(d1, d2) << blit.name << " k " << level << " " << what;
                    }
                    for (int32_t alpha : {level, (int32_t)(rng() & 255)}) {
                        std::vector<uint32_t> d1 = dst, d2 = dst;
                        flt_AlphaRowSSE2(d1.data() + offset, s, n, alpha);
                        flt_AlphaRowRef(d2.data() + offset, s, n, alpha);
                        ASSERT_EQ(d1, d2) << "alpha " << alpha << " " << what;
                    }
                }

                std::vector<uint8_t> grey(n + offset);
                for (uint8_t &g : grey)
                    g = (uint8_t)randomPixel(rng, (int)seed, 0);
                std::vector<uint32_t> g1 = dst, g2 = dst;
                flt_GrayRowSSE2(g1.data() + offset, grey.data() + offset, n);
                flt_GrayRowRef(g2.data() + offset, grey.data() + offset, n);
                ASSERT_EQ(g1, g2) << "gray " << what;

                std::vector<uint32_t> c1 = dst, c2 = dst;
                flt_CopyBlocksSSE2(c1.data(), src.data(), (n + offset) / 8);
                flt_CopyBlocksRef(c2.data(), src.data(), (n + offset) / 8);
                ASSERT_EQ(c1, c2) << "blocks " << what;

                // Edge rows: three luminance rows between black bytes.
                std::vector<uint8_t> up(n + 2), mid(n + 2), down(n + 2);
                for (std::vector<uint8_t> *l : {&up, &mid, &down})
                    for (int i = 1; i <= n; i++)
                        (*l)[i] = (uint8_t)randomPixel(rng, (int)seed, i);
                for (int shift = 0; shift <= 16; shift++) {
                    for (int additive = 0; additive < 2; additive++) {
                        std::vector<uint32_t> e1 = dst, e2 = dst;
                        flt_EdgeRowSSE2(up.data(), mid.data(), down.data(), e1.data() + offset, n, shift, additive);
                        flt_EdgeRowRef(up.data(), mid.data(), down.data(), e2.data() + offset, n, shift, additive);
                        ASSERT_EQ(e1, e2) << "edges shift " << shift << " additive " << additive << " " << what;
                    }
                }
            }
        }
    }
}

TEST_F(Filter, SimdAndScalarFramesAreBitIdentical)
{
    for (uint32_t seed = 0; seed < 12; seed++) {
        GuardedFrame start;
        randomFrame(start, seed);
        std::mt19937 rng(seed);
        for (int coef : kCoefs) {
            params.coefH = params.coefV = coef;
            params.threshold = seed & 1 ? randomPixel(rng, (int)seed, 0) : 0;
            const int first = (int)(rng() % 60), last = first + (int)(rng() % 180);
            expectKernelsAgree(start, [&](GuardedFrame &f) { blurRowsH(f.pixels, f.pixels, first, last); }, "blurH");
            expectKernelsAgree(start, [&](GuardedFrame &f) { blurRowsV(f.pixels, f.pixels, first, last); }, "blurV");
            expectKernelsAgree(start, [&](GuardedFrame &f) {
                blurRowsH(f.pixels, f.pixels, 30, 209);
                blurRowsV(f.pixels, f.pixels, 30, 209);
            }, "post blur");
        }
        for (int shift : {0, 1, 3, 7, 15, 16})
            for (int additive = 0; additive < 2; additive++)
                expectKernelsAgree(start, [&](GuardedFrame &f) { edgeDetect(f.picture(), shift, additive); }, "edges");

        OwnedBitmap bm(37 + (int)(rng() % 300), 1 + (int)(rng() % 200));
        for (int i = 0; i < bm.get()->width * bm.get()->height; i++)
            bm.pixels()[i] = randomPixel(rng, (int)seed, i);
        const int32_t x = (int32_t)(rng() % 400) - 40, y = (int32_t)(rng() % 240) - 30;
        const int32_t level = kCoefs[rng() % 6];
        expectKernelsAgree(start, [&](GuardedFrame &f) {
            blitCopy(f.pixels, FRAME_HEIGHT, bm.get(), x, y);
            blitAddMinus(f.picture(), bm.get(), y, x, level);
            blitSubPlus(f.picture(), bm.get(), x + 3, y, level);
            blitAlpha(f.picture(), bm.get(), x, y + 1, level);
            blitMinus(f.picture(), bm.get(), x - 5, y - 2, level);
            pictureCopy(f.pixels, f.picture());
        }, "blits");
    }
}

} // namespace
