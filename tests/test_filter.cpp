// Pixel filters: blurs, luminance and edges, blits and the picture copy at
// worked values and at the frame's edges, and each SSE2 kernel against its
// scalar reference.

#include "core/simd.h"
#include "post/filter.h"
#include "post/filter_local.h"
#include "testutil.h"

namespace {

const int kCoefs[] = {0, 1, 127, 128, 254, 255};

// Random bytes of four kinds: anything, only 0 and 255, only the values
// where lanes and clamps turn, and a smooth ramp with noise.
uint32_t randomPixel(std::mt19937 &rng, int kind, int i)
{
    uint32_t p = 0;
    for (int b = 0; b < 4; b++) {
        const uint32_t v[] = {(uint32_t)rng() & 255, (rng() & 1) ? 255u : 0u, (uint32_t)kCoefs[rng() % 6],
                              ((i >> 3) + (uint32_t)(rng() % 9)) & 255};
        p |= v[kind & 3] << (8 * b);
    }
    return p;
}

template <class T = uint32_t> std::vector<T> randomRow(std::mt19937 &rng, int n, int kind)
{
    std::vector<T> row(n);
    for (int i = 0; i < n; i++)
        row[i] = (T)randomPixel(rng, kind, i);
    return row;
}

// A frame whose block's guard rows hold the sentinel.
struct Frame : GuardedFrame {
    explicit Frame(uint32_t value = 0, uint32_t seed = 0) : GuardedFrame(value, true)
    {
        std::mt19937 rng(seed);
        for (int i = 0; seed && i < FRAME_WIDTH * FRAME_HEIGHT; i++)
            frame[i] = randomPixel(rng, (int)seed, i);
    }
};

TexturePtr bitmap(int w, int h, int format = BITMAP_RGB32) { return TexturePtr(txt_CreateTexture(w, h, format)); }

// Each blit by its mode number; the copy clips to copyRows.
void blit(int mode, uint32_t *dst, const Bitmap *b, int32_t x, int32_t y, int32_t arg, int32_t copyRows = PICTURE_ROWS)
{
    switch (mode) {
    case BLIT_COPY: return blitCopy(dst, copyRows, b, x, y);
    case BLIT_ADD_MINUS: return blitAddMinus(dst, b, x, y, arg);
    case BLIT_SUB_PLUS: return blitSubPlus(dst, b, x, y, arg);
    case BLIT_ALPHA: return blitAlpha(dst, b, x, y, arg);
    case BLIT_MINUS: return blitMinus(dst, b, x, y, arg);
    }
}

class Filter : public ::testing::Test {
protected:
    FilterParams params = {FRAME_WIDTH, FRAME_HEIGHT, 0, 0, 0, 0, 0xFFFF};
};

} // namespace

TEST_F(Filter, CoefficientsClampZeroCopiesAndThresholdSubtractsOnce)
{
    params.mask = 0;
    filterSetCoefficients(&params, -5, 300);
    EXPECT_EQ((std::array<int32_t, 3>{params.coefH, params.coefV, params.mask}), (std::array<int32_t, 3>{0, 255, 65535}));
    const FilterParams made = filterParamsFor(300, -5);
    EXPECT_EQ((std::array<int64_t, 6>{made.width, made.height, made.coefH, made.coefV, made.threshold, made.mask}),
              (std::array<int64_t, 6>{320, 240, 255, 0, 0, 0xFFFF})) << "width, height, coefH, coefV, threshold, mask";
    Frame src(0, 11), dst;
    for (int vertical = 0; vertical < 2; vertical++) {
        SCOPED_TRACE(vertical ? "vertical" : "horizontal");
        const FilterParams *settings = &params;
        auto run = [&] { (vertical ? blurRowsV : blurRowsH)(src.frame, dst.frame, 30, 209, settings); };
        params.coefH = params.coefV = 0, params.threshold = 0;
        dst.fill(0x12345678u);
        run();
        EXPECT_TRUE(sameWords(&dst.at(0, 30), &src.at(0, 30), 180 * FRAME_WIDTH)) << "coefficient 0 copies";
        EXPECT_EQ(std::count(&dst.at(0, -32), &dst.at(0, 272), 0x12345678u), 60 * FRAME_WIDTH) << "rows left alone";
        // Threshold per byte, saturating at 0; the backward pass reads its own
        // output without subtracting again.
        params.threshold = 0x10203040u;
        src.at(5, 40) = 0x80402010u, src.at(6, 40) = 0x0F1F2F3Fu, src.at(7, 40) = 0xFFFFFFFFu;
        run();
        EXPECT_EQ((std::array<uint32_t, 3>{dst.at(5, 40), dst.at(6, 40), dst.at(7, 40)}),
                  (std::array<uint32_t, 3>{0x70200000u, 0u, 0xEFDFCFBFu})) << "pixels 5, 6 and 7 of row 40";
        // Without settings no blur runs and nothing is written.
        settings = nullptr;
        filterSetCoefficients(nullptr, 1, 1);
        dst.copyFrom(src);
        run();
        EXPECT_TRUE(sameWords(dst.memory, src.memory)) << "no settings";
    }
}

// One worked row and column; the kernel test below and the post chain's
// golden frames cover the rest.
TEST_F(Filter, BlurWorkedRowAndColumn)
{
    Frame f;
    // Coefficient 128: each step keeps half the difference, floors included.
    params.coefH = params.coefV = 128;
    f.at(0, 100) = 0x000000FFu;
    blurRowsH(f.frame, f.frame, 100, 101, &params);
    for (auto [x, v] : {std::pair<int, uint32_t>{0, 169}, {1, 84}, {2, 41}, {6, 1}, {7, 0}})
        EXPECT_EQ(f.at(x, 100), v) << "column " << x;
    // Vertically, with no spreading across columns.
    f.fill(0);
    f.at(77, 100) = 200 * 0x01010101u;
    blurRowsV(f.frame, f.frame, 30, 209, &params);
    EXPECT_EQ((std::array<uint32_t, 5>{f.at(77, 99), f.at(77, 100), f.at(77, 101), f.at(76, 100), f.at(78, 100)}),
              (std::array<uint32_t, 5>{33 * 0x01010101u, 66 * 0x01010101u, 33 * 0x01010101u, 0, 0}))
        << "column 77 at rows 99, 100, 101, then its neighbours on row 100";
    // The accumulators start at firstRow: bright rows just outside the range reach neither end of it.
    f.fill(0);
    params.coefV = 255;
    std::fill(&f.at(0, 99), &f.at(0, 100), 0xFFFFFFFFu);
    std::fill(&f.at(0, 121), &f.at(0, 122), 0xFFFFFFFFu);
    blurRowsV(f.frame, f.frame, 100, 120, &params);
    EXPECT_EQ(std::count(&f.at(0, 100), &f.at(0, 121), 0u), 21 * FRAME_WIDTH);
}

TEST_F(Filter, BlurRowRangesTheExtraRowAndTheHostsInitialCoefficient)
{
    params.coefH = params.coefV = 200;
    const int cases[][4] = {
        // first, last; the frame rows the blur may change
        {30, 209, 30, 209},   // the post chain: even count
        {0, 238, 0, 239},     // the voxel landscape: odd count, row 239 too
        {239, 239, 239, 239}, // the extra row would leave the frame
        {-10, 5, 0, 5},       // rows above the frame are not the blur's
        {200, 400, 200, 239}, {100, 99, -1, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "rows " << c[0] << ".." << c[1]);
        Frame f(0, 5), before(0, 5);
        blurRowsH(f.frame, f.frame, c[0], c[1], &params);
        for (int y = 0; y < FRAME_HEIGHT; y++)
            EXPECT_EQ(memcmp(&f.at(0, y), &before.at(0, y), FRAME_PITCH) != 0, y >= c[2] && y <= c[3])
                << "row " << y << " changed";
        blurRowsV(f.frame, f.frame, c[0] - 32, c[1] + 32, &params);
        EXPECT_TRUE(f.intact());
    }
    // A coefficient past a byte, as settings made by hand may hold, is read as 255.
    Frame a(0, 6), b(0, 6);
    for (Frame *f : {&a, &b})
        params.coefH = f == &a ? 123456 : 255, blurRowsH(f->frame, f->frame, 30, 209, &params);
    EXPECT_TRUE(sameWords(a.memory, b.memory));
}

TEST_F(Filter, LumaAndEdgesGoldenBordersAndShiftsOutOfRange)
{
    uint32_t pixels[FRAME_WIDTH] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFFFFFFFFu, 0xFF000000u, 0x00010203u};
    uint8_t luma[FRAME_WIDTH];
    lumaRow(pixels, luma);
    EXPECT_EQ(std::vector<uint8_t>(luma, luma + 7), (std::vector<uint8_t>{63, 127, 63, 255, 0, 2, 0}));
    // Uniform grey 20, frame row 210 included, edges added: only against the
    // black outside, gx = 4 * 20, (16 * 80)^2 / 65536 = 25.
    Frame grey(0x14141414u);
    edgeDetect(grey.picture(), 0, 1);
    EXPECT_EQ((std::array<uint32_t, 3>{grey.at(0, 30), grey.at(319, 209), grey.at(5, 29)}),
              (std::array<uint32_t, 3>{0x2D2D2D2Du, 0x2D2D2D2Du, 0x14141414u})) << "corners, then above the picture";
    EXPECT_EQ(std::count(&grey.at(1, 30), &grey.at(0, 211), 0x14141414u), 180 * 318 + 320) << "inside the borders, and row 210";
    // A white line on frame row 80: rows 79 and 81 light up, the line itself
    // has no vertical gradient (and would, were row 79 read after writing).
    // White rows 30 and 210: the top row is its own upper neighbour, the
    // bottom row sees the row below the picture.
    Frame f, g;
    std::fill(&f.at(0, 80), &f.at(0, 81), 0xFFFFFFFFu);
    std::fill(&g.at(0, 30), &g.at(0, 31), 0x00FFFFFFu);
    std::fill(&g.at(0, 210), &g.at(0, 211), 0x00FFFFFFu);
    edgeDetect(f.picture(), 4, 0);
    edgeDetect(g.picture(), 4, 0);
    const uint32_t golden[][4] = { // frame (line, rows), x, y, pixel
        {0, 160, 78, 0}, {0, 0, 79, 0x9E9E9E9E}, {0, 1, 79, 0xFEFEFEFE}, {0, 160, 80, 0}, {0, 1, 81, 0xFEFEFEFE},
        {1, 0, 30, 0xFFFFFFFF}, {1, 5, 31, 0xFEFEFEFE}, {1, 5, 32, 0}, {1, 5, 209, 0xFEFEFEFE}, {1, 5, 210, 0x00FFFFFF}};
    for (const auto &p : golden)
        EXPECT_EQ((p[0] ? g : f).at(p[1], p[2]), p[3]) << (p[0] ? "rows " : "line ") << p[1] << "," << p[2];
    // Shifts outside 0..15 leave no magnitude: additive changes nothing, replacing blackens the picture.
    for (int shift : {16, 17, 1000, -1, INT32_MIN}) {
        SCOPED_TRACE(testing::Message() << "shift " << shift);
        Frame h(0, 21), before(0, 21);
        edgeDetect(h.picture(), shift, 1);
        EXPECT_TRUE(sameWords(h.memory, before.memory)) << "additive";
        edgeDetect(h.picture(), shift, 0);
        EXPECT_EQ(std::count(h.picture(), h.picture() + FRAME_WIDTH * PICTURE_ROWS, 0u), FRAME_WIDTH * PICTURE_ROWS);
        EXPECT_EQ(h.at(3, 210), before.at(3, 210)) << "the row below the picture";
        EXPECT_TRUE(h.intact());
    }
}

TEST_F(Filter, BlitGoldenPixels)
{
    const uint32_t cases[][5] = { // mode, d, s, k or alpha, result
        {BLIT_COPY, 0x11111111u, 0x80604020u, 0, 0x80604020u}, {BLIT_ADD_MINUS, 0x10203040u, 0x80808080u, 0x30, 0x60708090u},
        {BLIT_ADD_MINUS, 0xF0F0F0F0u, 0x50505050u, 0x10, 0xFFFFFFFFu},  // sum saturates
        {BLIT_ADD_MINUS, 0x10203040u, 0xFFFFFFFFu, 255, 0x10203040u},   // k = 255 adds nothing
        {BLIT_ADD_MINUS, 0x10203040u, 0x80808080u, 0x130, 0x60708090u}, // only the low byte of k
        {BLIT_SUB_PLUS, 0x80808080u, 0x10203040u, 0x10, 0x60504030u},
        {BLIT_SUB_PLUS, 0x10FFFFFFu, 0x10F0F000u, 0x20, 0x000000DFu},   // s + k saturates, d - .. at 0
        {BLIT_MINUS, 0x12345678u, 0x80604020u, 0x30, 0x50301000u},
        {BLIT_ALPHA, 0x00000000u, 0xFF808080u, 255, 0xFD7F7F7Fu},       // weight 32512
        {BLIT_ALPHA, 0x01010101u, 0x01000000u, 255, 0x01000000u},       // floor of -0.25 is -1
        {BLIT_ALPHA, 0x01010101u, 0x01000000u, 1, 0x01010101u},         // weight 0
        {BLIT_ALPHA, 0x12345678u, 0x00FFFFFFu, 255, 0x12345678u},       // sa = 0: untouched
        {BLIT_ALPHA, 0x00000000u, 0xFF808080u, 1000, 0xFD7F7F7Fu},      // alpha beyond 255 is 255
        {BLIT_ALPHA, 0x12345678u, 0xFF808080u, (uint32_t)-7, 0x12345678u}, // below 0 is 0
    };
    TexturePtr bm = bitmap(9, 2); // wide enough for the packed loop and its tail
    for (const auto &c : cases) {
        std::fill_n(words(bm.get()), 18, c[2]);
        Frame f(c[1]);
        blit((int)c[0], f.picture(), bm->bitmap, 3, 4, (int32_t)c[3]);
        EXPECT_EQ((std::array<uint32_t, 5>{f.at(3, 34), f.at(11, 35), f.at(2, 34), f.at(12, 35), f.at(3, 36)}),
                  (std::array<uint32_t, 5>{c[4], c[4], c[1], c[1], c[1]}))
            << "mode " << c[0] << " arg " << (int32_t)c[3] << ": two corners, then left, right and below";
    }
}

// Every blit against the plain rule "source pixel (i, j) lands at (x + i,
// y + j) when that lies in 320 x clip height", at positions around and far
// beyond each edge: the copy through frame row 0 (200 rows, and more than the
// frame has), the others through the picture. The sub-plus blit inverts a
// white picture, alpha changes it. Bitmaps are allocated to their exact size,
// so a read past them shows under the address sanitiser.
TEST_F(Filter, BlitsClipToTheFrameAndTheBitmap)
{
    const int32_t blits[][3] = {{BLIT_COPY, 200, 200}, {BLIT_COPY, 100000, FRAME_HEIGHT}, {BLIT_ADD_MINUS, 0, PICTURE_ROWS},
                                {BLIT_SUB_PLUS, 0, PICTURE_ROWS}, {BLIT_ALPHA, 255, PICTURE_ROWS},
                                {BLIT_MINUS, 0, PICTURE_ROWS}}; // mode, argument or copied rows, clip height
    const int32_t xs[] = {INT32_MIN, -400, -20, -19, 0, 1, 319, 320, INT32_MAX};
    const int32_t ys[] = {INT32_MIN, -300, -10, -1, 0, 179, 180, 239, INT32_MAX};
    for (auto [w, h] : {std::pair<int, int>{20, 10}, {1, 1}, {400, 300}}) {
        TexturePtr bm = bitmap(w, h);
        for (int p = 0; p < w * h; p++) // every byte non-zero and every pixel different
            words(bm.get())[p] = (uint32_t)(p / w / 255 + 0x11) << 24 | (uint32_t)(p % w / 255 + 1) << 16 |
                                 (uint32_t)(p / w % 255 + 1) << 8 | (uint32_t)(p % w % 255 + 1);
        for (const auto &c : blits) {
            const uint32_t before = c[0] == BLIT_SUB_PLUS ? 0xFFFFFFFFu : 0;
            for (int32_t x : xs) {
                for (int32_t y : ys) {
                    Frame f(before);
                    uint32_t *dst = c[0] == BLIT_COPY ? f.frame : f.picture();
                    blit(c[0], dst, bm->bitmap, x, y, c[1], c[1]);
                    SCOPED_TRACE(testing::Message() << "mode " << c[0] << ", " << w << "x" << h << " at " << x << "," << y);
                    EXPECT_TRUE(f.intact());
                    int wrong = 0;
                    for (int Y = 0; Y < (c[0] == BLIT_COPY ? FRAME_HEIGHT : FRAME_HEIGHT - PICTURE_FIRST_ROW); Y++) {
                        for (int X = 0; X < FRAME_WIDTH; X++) {
                            int64_t i = (int64_t)X - x, j = (int64_t)Y - y;
                            bool inside = Y < c[2] && i >= 0 && i < w && j >= 0 && j < h;
                            uint32_t got = dst[Y * FRAME_WIDTH + X], s = inside ? words(bm.get())[j * w + i] : 0;
                            wrong += !(!inside ? got == before : c[0] == BLIT_ALPHA ? got != before : got == (s ^ before));
                        }
                    }
                    EXPECT_EQ(wrong, 0) << "pixels not where the rule puts them";
                }
            }
        }
    }
}

TEST_F(Filter, BlitsRefuseWhatTheyCannotReadAndGrayExpandsBytes)
{
    Frame f(0, 31), before(0, 31);
    TexturePtr gray = bitmap(8, 8, BITMAP_GRAY8), rgb = bitmap(8, 8), empty = bitmap(0, 5);
    Bitmap nullPixels = {8, 8, nullptr, BITMAP_RGB32}, negative = {-8, 8, rgb->bitmap->pixels, BITMAP_RGB32};
    const Bitmap *unreadable[] = {nullptr, gray->bitmap, empty ? empty->bitmap : nullptr, &nullPixels, &negative};
    for (const Bitmap *b : unreadable)
        for (int mode = BLIT_COPY; mode <= BLIT_MINUS; mode++)
            blit(mode, f.picture(), b, 0, 0, 255);
    for (int32_t rows : {0, -5}) // no rows to draw into
        blitCopy(f.frame, rows, rgb->bitmap, 0, 0);
    blitCopy(nullptr, FRAME_HEIGHT, rgb->bitmap, 0, 0);
    for (const Bitmap *b : {(const Bitmap *)rgb->bitmap, (const Bitmap *)&negative, (const Bitmap *)nullptr})
        blitGray(f.frame, b); // wrong format or nothing to read
    EXPECT_TRUE(sameWords(f.memory, before.memory));
    // A 400 x 300 grey bitmap fills the frame, a 19 x 2 one its corner.
    TexturePtr big = bitmap(400, 300, BITMAP_GRAY8), small = bitmap(19, 2, BITMAP_GRAY8);
    uint8_t *v = (uint8_t *)big->bitmap->pixels, *s = (uint8_t *)small->bitmap->pixels;
    for (int i = 0; i < 400 * 300; i++)
        v[i] = (uint8_t)(i * 7);
    s[1] = 0x7F, s[18] = 0xFF, s[19] = 0x80;
    Frame g;
    blitGray(g.frame, big->bitmap);
    std::vector<uint32_t> expanded(FRAME_WIDTH * FRAME_HEIGHT);
    for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; i++)
        expanded[i] = 0xFF000000u | v[i / FRAME_WIDTH * 400 + i % FRAME_WIDTH] * 0x010101u;
    EXPECT_TRUE(sameWords(g.frame, expanded.data(), expanded.size()));
    g.fill(0);
    blitGray(g.frame, small->bitmap);
    EXPECT_EQ((std::array<uint32_t, 6>{g.at(0, 0), g.at(1, 0), g.at(18, 0), g.at(0, 1), g.at(19, 0), g.at(0, 2)}),
              (std::array<uint32_t, 6>{0xFF000000u, 0xFF7F7F7Fu, 0xFFFFFFFFu, 0xFF808080u, 0u, 0u}))
        << "(0, 0), (1, 0), (18, 0), (0, 1), then right of and below the bitmap";
    EXPECT_TRUE(g.intact());
    // The picture copy moves exactly the picture.
    Frame a(0, 41), b(0x55555555u);
    pictureCopy(b.picture(), a.picture());
    EXPECT_TRUE(sameWords(b.picture(), a.picture(), FRAME_WIDTH * PICTURE_ROWS));
    EXPECT_EQ((std::array<uint32_t, 2>{b.at(319, 29), b.at(0, 210)}), (std::array<uint32_t, 2>{0x55555555, 0x55555555}));
    EXPECT_TRUE(b.intact());
}

// Every kernel of one set on random rows of each kind, every length 0..40
// and 320, aligned and not, each coefficient and level; outputs by kernel.
static std::map<std::string, std::vector<uint32_t>> kernelOutputs(const FilterKernels &k, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::map<std::string, std::vector<uint32_t>> out;
    auto keep = [&](const char *name, const auto &v) { out[name].insert(out[name].end(), v.begin(), v.end()); };
    const uint32_t threshold = seed % 3 == 0 ? 0 : seed % 3 == 1 ? 0xFFFFFFFFu : randomPixel(rng, (int)seed, 0);
    for (int length = 0; length <= 41; length++) {
        const int n = length <= 40 ? length : FRAME_WIDTH; // empty, every tail of the packed loops, whole rows
        for (int offset : {0, 3}) {
            std::vector<uint32_t> src = randomRow(rng, n + offset, (int)seed), dst = randomRow(rng, n + offset, (int)seed + 2);
            const uint32_t *s = src.data() + offset;
            std::vector<uint32_t> d = dst, c = dst;
            std::vector<uint8_t> luma(n + offset, 9), grey = randomRow<uint8_t>(rng, n + offset, (int)seed);
            k.lumaRow(s, luma.data() + offset, n);
            k.grayRow(d.data() + offset, grey.data() + offset, n);
            k.copyBlocks(c.data(), src.data(), (n + offset) / 8);
            keep("luma", luma), keep("gray", d), keep("blocks", c);
            for (int level : kCoefs) {
                const int32_t alpha = rng() & 255;
                for (int i = 0; i < 6; i++) {
                    d = dst;
                    const BlitRowFn blitRows[] = {k.copyRow, k.addMinusRow, k.subPlusRow, k.minusRow};
                    i < 4 ? blitRows[i](d.data() + offset, s, n, (uint32_t)level * 0x01010101u)
                          : k.alphaRow(d.data() + offset, s, n, i == 4 ? level : alpha);
                    keep("blits", d);
                }
                if (n == 0)
                    continue;
                std::vector<uint32_t> a = src, outA(n + offset), outB(n + offset);
                k.blurPairH(a.data(), dst.data(), outA.data(), outB.data(), n, level, threshold);
                k.blurPairH(a.data(), a.data(), a.data(), a.data(), n, level, threshold); // one row in place
                keep("blur pair", outA), keep("blur pair", outB), keep("blur pair", a);
            }
            // Edge rows: three luminance rows between black bytes.
            std::vector<uint8_t> up = randomRow<uint8_t>(rng, n + 2, (int)seed),
                                 mid = randomRow<uint8_t>(rng, n + 2, (int)seed), down = randomRow<uint8_t>(rng, n + 2, 3);
            up.front() = mid.front() = down.front() = up.back() = mid.back() = down.back() = 0;
            for (int shiftAndAdditive = 0; shiftAndAdditive < 34; shiftAndAdditive++) {
                d = dst;
                k.edgeRow(up.data(), mid.data(), down.data(), d.data() + offset, n, shiftAndAdditive / 2, shiftAndAdditive & 1);
                keep("edges", d);
            }
        }
    }
    for (int rows : {1, 2, 5, (int)FRAME_HEIGHT}) {
        for (int coef : kCoefs) {
            std::vector<uint32_t> src = randomRow(rng, rows * FRAME_WIDTH, (int)seed), dst(rows * FRAME_WIDTH, 7u);
            if (rows >= 8) { // eight rows from any row and of any length, into dst and in place
                const int at = (int)(rng() % (rows - 7)) * FRAME_WIDTH, n = 1 + (int)(rng() % FRAME_WIDTH);
                std::vector<uint32_t> a = src, b = dst;
                k.blurOctH(a.data() + at, b.data() + at, n, coef, threshold);
                k.blurOctH(a.data() + at, a.data() + at, n, coef, threshold);
                keep("blur oct", a), keep("blur oct", b);
            }
            alignas(16) int16_t acc[FILTER_STRIP_LANES];
            const int column = (int)(rng() % 40) * 8;
            k.blurStripV(src.data() + column, dst.data() + column, rows, coef, threshold, acc);
            keep("blur strip", dst), keep("blur strip", std::vector<int16_t>(acc, acc + FILTER_STRIP_LANES));
            k.blurStripV(src.data() + column, src.data() + column, rows, coef, threshold, acc); // in place
            keep("blur strip", src);
        }
    }
    return out;
}

TEST_F(Filter, SimdKernelsMatchTheirReferencesOnAnyRow)
{
    if (!simdHasSSE2)
        GTEST_SKIP() << "no SSE2 kernels in this build: the references are the kernels";
    for (uint32_t seed = 0; seed < 8; seed++) {
        auto sse2 = kernelOutputs(SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef), seed);
        auto ref = kernelOutputs(flt_KernelsRef, seed);
        for (const auto &[name, values] : sse2)
            EXPECT_TRUE(sameWords(values, ref[name])) << name << ", seed " << seed;
    }
}
