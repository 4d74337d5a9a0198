// The rasteriser: clipping and the fan, Gouraud paths and their kernels,
// texturing, edge accumulation, lines, and hostile input that must never write
// outside a frame's block. The fill conventions (rows below the top through the
// bottom, the right edge left out) show in every exact pixel set below and in
// the reference scene's golden frames.

#include <type_traits>

#include "core/simd.h"
#include "render/raster.h"
#include "render/raster_local.h"
#include "render/view.h"
#include "testutil.h"

namespace {

typedef std::set<std::pair<int, int>> PixelSet; // (x, y)
using Pixels2 = std::array<uint32_t, 2>;

// A frame installed as the target, clip lines -1 and 239 unless asked not to.
struct Target : GuardedFrame {
    uint32_t background;
    explicit Target(uint32_t fill = 0, bool clipLines = true) : GuardedFrame(fill), background(fill)
    {
        rnd_SetTarget(frame);
        if (clipLines)
            rnd_SetClipLines(-1, 239);
    }
    PixelSet changed()
    {
        PixelSet set;
        for (int i = 0; i < FRAME_BLOCK_PIXELS; i++)
            if (block[i] != background)
                set.insert({i % FRAME_WIDTH, i / FRAME_WIDTH + BLOCK_FIRST_ROW});
        return set;
    }
    std::pair<int, int> rowSpan() // first and last changed rows
    {
        std::pair<int, int> span(1000, -1000);
        for (auto &p : changed())
            span = {std::min(span.first, p.second), std::max(span.second, p.second)};
        return span;
    }
};

Vertex vtx(float x, float y, uint32_t colour = 0, int32_t u = 0, int32_t v = 0, int32_t cz = 0)
{
    Vertex p{};
    p.kind = 1, p.sx = (int32_t)(x * 256.0f), p.sy = (int32_t)(y * 256.0f); // pixel -> 24.8
    p.colour = colour, p.u = u, p.v = v, p.cz = cz;
    return p;
}

Material material(int mode, Texture *texture = nullptr)
{
    Material m{};
    m.mode = (uint8_t)mode, m.texture = texture;
    rnd_ModeSlots(mode, &m.clipFill, &m.triFill);
    return m;
}

void drawFace(Vertex a, Vertex b, Vertex c, Material *m, uint8_t flags, uint32_t colour = 0x00FFFFFF)
{
    Face f{};
    f.a = &a, f.b = &b, f.c = &c, f.material = m, f.clipFlags = flags, f.colour = colour;
    rnd_DrawFace(&f);
}

// Rows y0..y1, each from x0 to x1 inclusive; either bound may be a function of the row.
template <typename B> int bound(B b, int y)
{
    if constexpr (std::is_invocable_v<B, int>)
        return b(y);
    else
        return b;
}
template <typename A, typename B> PixelSet rows(int y0, int y1, A x0, B x1)
{
    PixelSet s;
    for (int y = y0; y <= y1; y++)
        for (int x = bound(x0, y); x <= bound(x1, y); x++)
            s.insert({x, y});
    return s;
}
PixelSet operator+(PixelSet a, const PixelSet &b) { return a.insert(b.begin(), b.end()), a; }

// Records the triangles the clippers fan out.
std::vector<Vertex> fanned;
void recordTriangle(Vertex *top, Vertex *middle, Vertex *bottom, Material *, uint32_t)
{
    fanned.insert(fanned.end(), {*top, *middle, *bottom});
}

} // namespace

TEST(RasterClip, VertexAt320IsInsideAndCutsBeyondFanIntoTwoTriangles)
{
    Material flat = material(MODE_FLAT), rec = material(MODE_FLAT);
    // Flagged right by the vertex test (beyond 319), yet inside the clipper's
    // 320: the pass only copies. Rows 11..19 run from 310 + (row - 10) to 319.
    Target f;
    drawFace(vtx(310, 10), vtx(320, 10), vtx(320, 20), &flat, CLIP_RIGHT);
    EXPECT_EQ(f.changed(), rows(11, 19, [](int y) { return 300 + y; }, 319));
    // (300,10) (340,10) (300,20) cut at x = 320 gives the quad (300,10)
    // (320,10) (320,15) (300,20): rows 11..15 full to 319, then the
    // hypotenuse 4 pixels per row; fanned from the first corner.
    Target g;
    drawFace(vtx(300, 10), vtx(340, 10), vtx(300, 20), &flat, CLIP_RIGHT);
    EXPECT_EQ(g.changed(), rows(11, 15, 300, 319) + rows(16, 19, 300, [](int y) { return 299 + 4 * (20 - y); }));
    rec.triFill = recordTriangle, fanned.clear();
    drawFace(vtx(300, 10), vtx(340, 10), vtx(300, 20), &rec, CLIP_RIGHT);
    std::vector<std::array<float, 2>> corners; // in pixels: a stray 1/256 shows as a fraction
    for (const Vertex &v : fanned)
        corners.push_back({v.sx / 256.0f, v.sy / 256.0f});
    EXPECT_EQ(corners,
              (std::vector<std::array<float, 2>>{{300, 10}, {320, 10}, {320, 15}, {300, 10}, {320, 15}, {300, 20}}));
}

TEST(RasterClip, ClipLinesBoundTheRowsModesPickTheFill)
{
    Material flat = material(MODE_FLAT);
    Vertex a = vtx(0, -20), b = vtx(300, -20), c = vtx(0, 260);
    Target f;
    drawFace(a, b, c, &flat, CLIP_TOP | CLIP_BOTTOM);
    EXPECT_EQ(f.rowSpan(), std::make_pair(0, 239));
    EXPECT_EQ(f.at(0, 0), 0x00FFFFFFu);
    Target g;
    rnd_SetClipLines(20, 200);
    drawFace(a, b, c, &flat, CLIP_TOP | CLIP_BOTTOM);
    EXPECT_EQ(g.rowSpan(), std::make_pair(21, 200));
    // 280 rows: beyond what the 65,536-entry tables index (255 rows and a
    // bit). Unclipped, it is dropped; clipped to the default lines it is drawn.
    Target h;
    drawFace(vtx(10, -20), vtx(100, 100), vtx(10, 260), &flat, 0);
    EXPECT_EQ(h.changed(), PixelSet{});
    drawFace(vtx(10, -20), vtx(100, 100), vtx(10, 260), &flat, CLIP_TOP | CLIP_BOTTOM);
    EXPECT_GT(h.changed().size(), 0u);
    // Clip lines beyond the block are held to its ends: faces clipped to them fill rows -32 to 271 at most.
    Target k;
    rnd_SetClipLines(-1000, 1000);
    drawFace(vtx(10, -100), vtx(100, 100), vtx(10, 150), &flat, CLIP_TOP);
    drawFace(vtx(10, 100), vtx(100, 400), vtx(10, 200), &flat, CLIP_BOTTOM);
    EXPECT_EQ(k.rowSpan(), std::make_pair(-32, 271));
    EXPECT_TRUE(k.intact());
    // Mode 8 draws nothing; unknown modes the face colour, through the
    // clipper that keeps colours. Cut at x = 0 the face is (0,10) (8,10)
    // (0,14): 2 pixels less per row.
    Target m;
    Material none = material(MODE_NONE), other = material(10);
    Vertex p = vtx(0, 10, 0x00FF0000), q = vtx(8, 10, 0x0000FF00), r = vtx(-8, 18, 0x000000FF);
    drawFace(p, q, r, &none, 0);
    drawFace(p, q, r, &none, CLIP_LEFT);
    drawFace(p, q, r, &other, CLIP_LEFT, 0x00345678);
    EXPECT_EQ(m.changed(), rows(11, 13, 0, [](int y) { return 27 - 2 * y; }));
    EXPECT_EQ(m.at(3, 12), 0x00345678u);
}

// Worked Gouraud values: the reference scene's golden frames (a Gouraud cube)
// and the kernel test below check them.
TEST(RasterGouraud, ScalarAndPackedPathsAtTheExtremesStayInRange)
{
    Material m = material(MODE_GOURAUD);
    // White to black and back, on 3 rows (scalar) and 190 (packed): grey stays
    // grey (no channel carries into the next), and each row runs monotonically
    // toward the other colour without wrapping.
    for (float bottomY : {13.0f, 200.0f}) {
        for (uint32_t topColour : {0xFFFFFFFFu, 0x00000000u}) {
            SCOPED_TRACE(testing::Message() << "bottom " << bottomY << ", top colour " << std::hex << topColour);
            Target h(0x12345678);
            drawFace(vtx(0, 10, topColour), vtx(319.9f, 10.3f, ~topColour), vtx(0.3f, bottomY, topColour), &m, 0);
            EXPECT_EQ(h.at(0, 11) & 255, topColour ? 255u : 0u);
            [&] { // the first wrong pixel ends this case alone
                for (int y = 11; y <= (int)bottomY; y++) {
                    for (int x = 0, prev = topColour ? 256 : -1; x < 320 && h.at(x, y) != 0x12345678u; x++) {
                        const uint32_t p = h.at(x, y), grey = p & 255;
                        ASSERT_EQ(p, grey * 0x01010101u) << "not grey at " << x << "," << y;
                        const int darker = topColour ? (int)grey : prev, lighter = topColour ? prev : (int)grey;
                        ASSERT_LE(darker, lighter) << "turning back at " << x << "," << y;
                        prev = (int)grey;
                    }
                }
            }();
        }
    }
}

TEST(RasterGouraud, PackedKernelMatchesScalarReferenceBitForBit)
{
    if (!simdHasSSE2)
        GTEST_SKIP() << "no SSE2 kernels in this build: the references are the kernels";
    std::mt19937 rng(20240611);
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -65536, -65535, -256, -1, 0, 1, 255, 256,
                                65279, 65280, 65535, 65536, 70000, INT32_MAX - 1, INT32_MAX};
    auto pick = [&] {
        const int32_t kinds[] = {extremes[rng() % 17], (int32_t)(rng() % 65536), // a channel's 8.8 range
                                 (int32_t)(rng() % 131072) - 65536, (int32_t)rng()}; // steep steps, anything
        return kinds[rng() % 4];
    };
    uint32_t sse[64], ref[64];
    for (int iter = 0; iter < 30000; iter++) {
        int32_t start[4], step[4];
        for (int c = 0; c < 4; c++)
            start[c] = pick(), step[c] = pick();
        int n = (int)(rng() % 64);
        memset(sse, 0xA5, sizeof sse), memset(ref, 0xA5, sizeof ref);
        SSE2_OR_REF(span_GouraudRowPackedSSE2, span_GouraudRowPackedRef)(sse, n, start, step);
        span_GouraudRowPackedRef(ref, n, start, step);
        ASSERT_TRUE(sameWords(sse, ref, 64)) << "iteration " << iter << " n " << n;
    }
}

TEST(RasterTextured, TexelAddressingWrapsAndTooSmallTexturesDrawNothing)
{
    TexturePtr tex(txt_CreateTexture(256, 256, BITMAP_RGB32)), small(txt_CreateTexture(16, 16, BITMAP_RGB32));
    for (int i = 0; i < 256 * 256; i++)
        words(tex.get())[i] = 0x01000000u | (uint32_t)i;
    Material m = material(MODE_TEXTURED, tex.get());
    // u follows x and v follows the row: pixel (x, row) shows texel
    // (x + u0, row - 10 + v0), wrapped to 8 bits each.
    for (auto [u0, v0] : {std::make_pair(0, 0), std::make_pair(250, -3)}) {
        Target f;
        drawFace(vtx(0, 10, 0, u0 * 256, v0 * 256), vtx(8, 10, 0, u0 * 256 + 2048, v0 * 256),
                 vtx(0, 18, 0, u0 * 256, v0 * 256 + 2048), &m, 0);
        EXPECT_EQ(f.changed(), rows(11, 17, 0, [](int y) { return 17 - y; }));
        for (auto [x, y] : f.changed())
            EXPECT_EQ(f.at(x, y), 0x01000000u | (uint32_t)((y - 10 + v0) & 255) << 8 | (uint32_t)((x + u0) & 255))
                << "u0 " << u0 << ", v0 " << v0 << " at " << x << "," << y;
    }
    Material tooSmall = material(MODE_TEXTURED, small.get()), none = material(MODE_TEXTURED, nullptr);
    Target f; // the sanitizer build checks the reads
    for (Material *t : {&tooSmall, &none})
        drawFace(vtx(0, 10, 0, 0, 0), vtx(200, 10, 0, 60000, 0), vtx(0, 200, 0, 0, 60000), t, 0);
    EXPECT_EQ(f.changed(), PixelSet{});
}

TEST(RasterEdges, NothingForBlackOrFlatFacesAndRowsSumBackToTheBias)
{
    // One worked pixel: (10,10) (20,20) (10,30), colour 0x402010, right edge
    // 10.9375 on row 11 (even column 10, weight 30720: share 30, 15, 7). The
    // voxel landscape's golden frames cover the rest.
    Target f(0x7F7F7F7F);
    Material m = material(MODE_EDGES);
    drawFace(vtx(10, 10), vtx(20, 20), vtx(10, 30), &m, 0, 0xAB402010);
    EXPECT_EQ((Pixels2{f.at(10, 11), f.at(11, 11)}), (Pixels2{0x7F9D8E86u, 0x7F617078u}));
    EXPECT_EQ(f.rowSpan(), std::make_pair(11, 30));
    Target g(0x7F7F7F7F);
    drawFace(vtx(10, 10), vtx(200, 60), vtx(30, 200), &m, 0, 0x00000000);
    drawFace(vtx(10, 10), vtx(200, 60), vtx(30, 200), &m, 0, 0xFF000000); // only the fourth byte: still black
    drawFace(vtx(10, 10.0f), vtx(200, 10.5f), vtx(30, 10.99f), &m, 0, 0x00FFFFFF);
    EXPECT_EQ(g.changed(), PixelSet{});
    // A larger face: at most 4 bytes change per row, the fourth byte never,
    // and the running sum of each row is its coverage, back to 0 at the end.
    Target h(0x7F7F7F7F);
    drawFace(vtx(40.3f, 20.7f), vtx(250.6f, 90.2f), vtx(100.1f, 180.4f), &m, 0, 0x00305070);
    using Sums = std::array<int, 3>; // blue, green, red
    const Sums want = {0x70, 0x50, 0x30};
    int rowsTouched = 0;
    for (int y = 0; y < 240; y++) {
        SCOPED_TRACE(testing::Message() << "row " << y);
        int changed = 0, full = 0, fourth = 0;
        Sums sum{}, low{}, high{}; // the running sums, and how far they went either way
        for (int x = 0; x < 320; x++) {
            const uint32_t p = h.at(x, y);
            changed += p != 0x7F7F7F7Fu, fourth += p >> 24 != 0x7Fu;
            for (int ch = 0; ch < 3; ch++) {
                sum[ch] += (int)(p >> (8 * ch) & 255) - 127;
                low[ch] = std::min(low[ch], sum[ch]), high[ch] = std::max(high[ch], sum[ch]);
            }
            full += sum == want;
        }
        EXPECT_EQ(fourth, 0) << "pixels whose fourth byte changed";
        EXPECT_LE(changed, 4);
        EXPECT_EQ(sum, Sums{}) << "the row's sum";
        EXPECT_EQ(low, Sums{}) << "the lowest running sums";
        for (int ch = 0; ch < 3; ch++)
            EXPECT_LE(high[ch], want[ch]) << "channel " << ch;
        if (y >= 30 && y <= 170) {
            EXPECT_GT(full, 10) << "pixels at full coverage";
        }
        rowsTouched += changed != 0;
    }
    EXPECT_EQ(rowsTouched, 180 - 20);
}

TEST(RasterLines, EndpointsBlendsAndClippingBeforeAndAfterAView)
{
    auto line = [](Target &f, float x0, float y0, float x1, float y1, uint32_t colour) {
        const float from[2] = {x0 * 256, y0 * 256}, to[2] = {x1 * 256, y1 * 256};
        line_Draw2D(f.frame, from, to, colour);
    };
    // One process per test: nothing has installed clip lines in this one, so
    // lines see x 0..319 and y -1..238 until a view installs its own.
    Target first(0, false);
    line(first, 100, -50, 100, 300, 0x00FFFFFF), line(first, 300, 30, 400, 30, 0x00FFFFFF);
    EXPECT_EQ(first.changed(), rows(-1, 238, 100, 101) + rows(30, 31, 300, 319));
    free(rnd_CreateView()); // installs -1 and 239, as a render would: y 0..238, x 0..318
    // Whole pixels 10..20 inclusive, weight 256 on the row and 0 (only the
    // fourth byte set) below.
    Target f(0, false);
    line(f, 10, 20, 20, 20, 0x00FF0000);
    EXPECT_EQ(f.changed(), rows(20, 21, 10, 20));
    EXPECT_EQ((Pixels2{f.at(10, 20), f.at(20, 21)}), (Pixels2{0xFFFF0000u, 0xFF000000u}));
    // Towards black from white at weight 192: 255 + (-48960 >> 8) = 63, the
    // shift floors. The intro's golden frames cover the other blends.
    Target k(0x00FFFFFF, false);
    line(k, 100, 20.25f, 110, 20.25f, 0);
    EXPECT_EQ((Pixels2{k.at(105, 20), k.at(105, 21)}), (Pixels2{0xFF3F3F3Fu, 0xFFBFBFBFu}));
    // Clipped to the inner rectangle or dropped. Vertical: rows 0..238 (the
    // column after it only gets the fourth byte). Right: x up to 318.
    Target c(0, false);
    for (auto [x0, y0, x1, y1] : {std::array<float, 4>{-50, 20, 50, 20}, {100, -50, 100, 300}, {300, 30, 400, 30},
                                  {-10, -10, -5, 100}, {400, 10, 500, 200}, {10, 250, 300, 260}})
        line(c, x0, y0, x1, y1, 0x00FFFFFF);
    EXPECT_EQ(c.changed(), rows(20, 21, 0, 50) + rows(0, 238, 100, 101) + rows(30, 31, 300, 318));
}

// Random triangles, lines and clip lines, many far off the screen or at
// INT32_MIN/MAX (what a NaN or overflowing projection becomes), through every
// fill mode and clipper, and the fillers straight: nothing is written outside
// the block. The same input goes to a frame inside sentinels with each
// Gouraud kernel (the two must agree) and, for the sanitizer build, to a heap
// block of exactly the frame block's size.
TEST(RasterHostile, NothingIsWrittenOutsideTheBlockAndBothKernelsAgree)
{
    TexturePtr tex(txt_CreateTexture(256, 256, BITMAP_RGB32));
    Material materials[6] = {material(MODE_TEXTURED, tex.get()), material(MODE_GOURAUD), material(MODE_FLAT),
                             material(MODE_NONE), material(MODE_EDGES), material(10)};
    Target sse2(0x7F7F7F7F), ref(0x7F7F7F7F);
    std::unique_ptr<uint32_t[]> exact(new uint32_t[FRAME_BLOCK_PIXELS]());
    for (uint32_t *target : {sse2.frame, ref.frame, exact.get() + FRAME_GUARD_PIXELS}) {
        span_GouraudRowPacked = target == ref.frame ? span_GouraudRowPackedRef
                                                    : SSE2_OR_REF(span_GouraudRowPackedSSE2, span_GouraudRowPackedRef);
        rnd_SetTarget(target);
        std::mt19937 rng(99);
        auto wild = [&]() -> int32_t { // kinds: extremes, anything, thousands of pixels off, around the screen, on it
            const int32_t k[] = {INT32_MIN, INT32_MAX, (int32_t)rng(), (int32_t)(rng() % 2000000) - 1000000,
                                 (int32_t)(rng() % (400 * 256)) - 40 * 256, (int32_t)(rng() % (320 * 256))};
            return k[std::min<uint32_t>(rng() % 8, 5)];
        };
        auto wildFloat = [&]() -> float {
            const float k[] = {NAN, INFINITY, -INFINITY, 3e38f, (float)(int32_t)rng(), (float)(rng() % 92160) - 5120.0f};
            return k[std::min<uint32_t>(rng() % 8, 5)];
        };
        rnd_SetClipLines(-1, 239);
        for (int i = 0; i < 6000; i++) {
            if (i % 500 == 0)
                rnd_SetClipLines(rng() & 1 ? wild() : int32_t(rng() % 80) - 40, rng() & 1 ? wild() : int32_t(rng() % 80) + 200);
            Vertex v[3];
            for (Vertex &p : v) {
                p = vtx(0, 0, (uint32_t)rng(), wild(), wild(), wild());
                p.sx = wild(), p.sy = wild(), p.clipFlags = (uint8_t)rng();
            }
            drawFace(v[0], v[1], v[2], &materials[rng() % 6], (uint8_t)(rng() & 31), (uint32_t)rng());
            // The fillers straight, sorted as the face code would, and not.
            Vertex *s[3] = {&v[0], &v[1], &v[2]};
            if (rng() & 1)
                std::sort(s, s + 3, [](const Vertex *p, const Vertex *q) { return p->sy < q->sy; });
            const TriFillFn fills[4] = {tri_Flat, tri_Gouraud, tri_Textured, tri_EdgeAccumulate};
            fills[rng() % 4](s[0], s[1], s[2], &materials[0], (uint32_t)rng());
            const float from[2] = {wildFloat(), wildFloat()}, to[2] = {wildFloat(), wildFloat()};
            line_Draw2D(target, from, to, (uint32_t)rng());
            line_DrawAA(target, FRAME_WIDTH, wild(), wild(), wild(), wild(), (uint32_t)rng());
        }
    }
    EXPECT_TRUE(sse2.intact());
    EXPECT_TRUE(ref.intact());
    EXPECT_GT(sse2.changed().size(), 0u);
    EXPECT_TRUE(sameWords(sse2.memory, ref.memory)) << "the Gouraud kernels disagree";
}
