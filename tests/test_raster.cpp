// The rasteriser: fill conventions, clipping and the fan, Gouraud paths and
// their kernels, texturing, edge accumulation, lines, and hostile input that
// must never write outside a frame's block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

#include "render/raster.h"
#include "render/raster_local.h"
#include "render/view.h"

namespace {

typedef std::set<std::pair<int, int>> PixelSet; // (x, y)

const uint32_t kSentinel = 0xDEADBEEFu;

// A frame inside its 320 x 304 block, with sentinel pixels before and after
// the block that drawing must never reach.
namespace {
struct GuardedFrame {
    static const int kMargin = 8192;
    std::vector<uint32_t> memory;
    uint32_t *block, *frame, background;

    explicit GuardedFrame(uint32_t fill = 0, bool installClipLines = true)
        : memory(2 * kMargin + FRAME_BLOCK_PIXELS, kSentinel), background(fill)
    {
        block = memory.data() + kMargin;
        std::fill(block, block + FRAME_BLOCK_PIXELS, fill);
        frame = block + FRAME_GUARD_PIXELS;
        rnd_SetTarget(frame);
        if (installClipLines)
            rnd_SetClipLines(-1, 239);
    }
    uint32_t at(int x, int y) const { return frame[y * FRAME_WIDTH + x]; }
    PixelSet changed() const
    {
        PixelSet set;
        for (int y = BLOCK_FIRST_ROW; y <= BLOCK_LAST_ROW; y++)
            for (int x = 0; x < FRAME_WIDTH; x++)
                if (at(x, y) != background)
                    set.insert({x, y});
        return set;
    }
    std::pair<int, int> rowSpan() const // first and last changed rows
    {
        std::pair<int, int> span(1000, -1000);
        for (auto &p : changed())
            span = {std::min(span.first, p.second), std::max(span.second, p.second)};
        return span;
    }
    bool marginsIntact() const
    {
        for (int i = 0; i < kMargin; i++)
            if (memory[i] != kSentinel || memory[kMargin + FRAME_BLOCK_PIXELS + i] != kSentinel)
                return false;
        return true;
    }
};
} // namespace

Vertex vtx(float x, float y, uint32_t colour = 0, int32_t u = 0, int32_t v = 0, int32_t cz = 0)
{
    Vertex p;
    memset(&p, 0, sizeof p);
    p.kind = 1;
    p.sx = (int32_t)(x * 256.0f); // pixel -> 24.8
    p.sy = (int32_t)(y * 256.0f);
    p.colour = colour;
    p.u = u, p.v = v, p.cz = cz;
    return p;
}

Material material(int mode, Texture *texture = nullptr)
{
    Material m;
    memset(&m, 0, sizeof m);
    m.mode = (uint8_t)mode;
    m.texture = texture;
    rnd_ModeSlots(mode, &m.clipFill, &m.triFill);
    return m;
}

void drawFace(Vertex a, Vertex b, Vertex c, Material *m, uint8_t flags, uint32_t colour = 0x00FFFFFF)
{
    Face f;
    memset(&f, 0, sizeof f);
    f.a = &a, f.b = &b, f.c = &c;
    f.material = m;
    f.clipFlags = flags;
    f.colour = colour;
    rnd_DrawFace(&f);
}

// Rows y0..y1, each from x0 to x1 inclusive; either bound may be a function of the row.
template <typename A, typename B> PixelSet rows(int y0, int y1, A x0, B x1)
{
    auto bound = [](auto b, int y) {
        if constexpr (std::is_invocable_v<decltype(b), int>)
            return (int)b(y);
        else
            return (int)b;
    };
    PixelSet s;
    for (int y = y0; y <= y1; y++)
        for (int x = bound(x0, y); x <= bound(x1, y); x++)
            s.insert({x, y});
    return s;
}

PixelSet unite(std::initializer_list<PixelSet> parts)
{
    PixelSet s;
    for (const PixelSet &p : parts)
        s.insert(p.begin(), p.end());
    return s;
}

// Records the triangles the clippers fan out.
std::vector<Vertex> fanned;
void recordTriangle(Vertex *top, Vertex *middle, Vertex *bottom, Material *, uint32_t)
{
    fanned.insert(fanned.end(), {*top, *middle, *bottom});
}

} // namespace

TEST(RasterFill, RowsBelowTopThroughBottomAndRightEdgeExcluded)
{
    GuardedFrame f;
    Material flat = material(MODE_FLAT);
    // Top at 10.0, bottom at 12.0: rows 11 and 12, not 10. The right edge
    // runs from 2.0 to 6.0 and stops short of its own column.
    drawFace(vtx(2, 10), vtx(2, 12), vtx(6, 12), &flat, 0, 0x00123456);
    EXPECT_EQ(f.changed(), unite({rows(11, 11, 2, 3), rows(12, 12, 2, 5)}));
    EXPECT_EQ(f.at(2, 11), 0x00123456u);
    // Inside one pixel row: nothing. 10.5 .. 11.5 covers row 11 only; the
    // middle vertex at x 8 makes the short edges the right ones.
    GuardedFrame g;
    drawFace(vtx(0, 10.25f), vtx(40, 10.5f), vtx(0, 10.75f), &flat, 0);
    EXPECT_TRUE(g.changed().empty());
    drawFace(vtx(0, 10.5f), vtx(8, 11), vtx(0, 11.5f), &flat, 0);
    EXPECT_EQ(g.changed(), rows(11, 11, 0, 7));
}

TEST(RasterClip, VertexAt320IsInsideAndCutsBeyondFanIntoTwoTriangles)
{
    Material flat = material(MODE_FLAT);
    // Flagged right by the vertex test (beyond 319), yet inside the clipper's
    // 320: the pass only copies. Rows 11..19 run from 310 + (row - 10) to 319.
    GuardedFrame f;
    drawFace(vtx(310, 10), vtx(320, 10), vtx(320, 20), &flat, CLIP_RIGHT);
    EXPECT_EQ(f.changed(), rows(11, 19, [](int y) { return 300 + y; }, 319));
    // (300,10) (340,10) (300,20) cut at x = 320 gives the quad (300,10)
    // (320,10) (320,15) (300,20): rows 11..15 full to 319, then the
    // hypotenuse 4 pixels per row.
    GuardedFrame g;
    Vertex a = vtx(300, 10), b = vtx(340, 10), c = vtx(300, 20);
    drawFace(a, b, c, &flat, CLIP_RIGHT);
    EXPECT_EQ(g.changed(), unite({rows(11, 15, 300, 319), rows(16, 19, 300, [](int y) { return 299 + 4 * (20 - y); })}));
    Material rec = material(MODE_FLAT);
    rec.triFill = recordTriangle;
    fanned.clear();
    drawFace(a, b, c, &rec, CLIP_RIGHT);
    ASSERT_EQ(fanned.size(), 6u);
    const int32_t expectXY[6][2] = {{300, 10}, {320, 10}, {320, 15}, {300, 10}, {320, 15}, {300, 20}};
    for (int i = 0; i < 6; i++)
        EXPECT_TRUE(fanned[i].sx == expectXY[i][0] * 256 && fanned[i].sy == expectXY[i][1] * 256) << i;
}

TEST(RasterClip, IntersectionFractionsAndInterpolatedFields)
{
    GuardedFrame f;
    // A (-3,0) lies left of the screen. Walking (C,A), (A,B), (B,C):
    // C->A leaves at t = (-1280*256 - 1024) / -2048 = 160 (truncated 160.5),
    // A->B enters at t = (768*256 + 1024) / 2048 = 96 (truncated 96.5).
    Vertex a = vtx(-3, 0, 0x00000000, 0, 0, 0), b = vtx(5, 10, 0x00FF80FF, 1000, -1000, 2560),
           c = vtx(5, 0, 0x00FF80FF, 512, 0, 256);
    Material full = material(MODE_GOURAUD), depth = material(MODE_FLAT);
    full.triFill = depth.triFill = recordTriangle;
    fanned.clear();
    drawFace(a, b, c, &full, CLIP_LEFT);
    // Fan (I1, I2, B) sorted: I1, I2, B; fan (I1, B, C) sorted: I1, C, B.
    ASSERT_EQ(fanned.size(), 6u);
    const Vertex &i1 = fanned[0], &i2 = fanned[1];
    EXPECT_TRUE(i1.sx == 0 && i1.sy == 0 && i2.sx == 0);
    EXPECT_EQ(i1.colour, 0x00603060u); // 255 + ((-255*160 + 127) >> 8) = 96; 128 - 80 = 48
    EXPECT_EQ(i1.u, 192);              // 512 + ((-512*160 + 127) >> 8)
    EXPECT_EQ(i2.sy, 960);             // (2560*96 + 127) >> 8
    EXPECT_EQ(i2.colour, 0x00603060u);
    EXPECT_EQ(i2.u, 375);
    EXPECT_EQ(i2.v, -375); // (-96000 + 127) >> 8, arithmetic
    EXPECT_TRUE(fanned[2].sy == b.sy && fanned[3].sy == 0 && fanned[4].sx == c.sx && fanned[5].sx == b.sx);
    fanned.clear();
    drawFace(a, b, c, &depth, CLIP_LEFT);
    ASSERT_EQ(fanned.size(), 6u);
    EXPECT_EQ(fanned[0].cz, 96); // 256 + ((-256*160 + 127) >> 8)
    EXPECT_EQ(fanned[1].cz, 960);
    EXPECT_EQ(fanned[0].colour, c.colour); // not interpolated by the depth clipper
}

TEST(RasterClip, ClipLinesBoundTheRowsAndTheBlockBoundsTheClipLines)
{
    Material flat = material(MODE_FLAT);
    Vertex a = vtx(0, -20), b = vtx(300, -20), c = vtx(0, 260);
    GuardedFrame f;
    drawFace(a, b, c, &flat, CLIP_TOP | CLIP_BOTTOM);
    EXPECT_EQ(f.rowSpan(), std::make_pair(0, 239));
    EXPECT_EQ(f.at(0, 0), 0x00FFFFFFu);
    GuardedFrame g;
    rnd_SetClipLines(20, 200);
    drawFace(a, b, c, &flat, CLIP_TOP | CLIP_BOTTOM);
    EXPECT_EQ(g.rowSpan(), std::make_pair(21, 200));
    // 280 rows: beyond what the 65,536-entry tables index (255 rows and a
    // bit). Unclipped, it is dropped; clipped to the default lines it is drawn.
    GuardedFrame h;
    drawFace(vtx(10, -20), vtx(100, 100), vtx(10, 260), &flat, 0);
    EXPECT_TRUE(h.changed().empty());
    drawFace(vtx(10, -20), vtx(100, 100), vtx(10, 260), &flat, CLIP_TOP | CLIP_BOTTOM);
    EXPECT_FALSE(h.changed().empty());
    // Clip lines beyond the block are held to its ends: faces clipped to
    // them fill rows -32 to 271 at most.
    GuardedFrame k;
    rnd_SetClipLines(-1000, 1000);
    drawFace(vtx(10, -100), vtx(100, 100), vtx(10, 150), &flat, CLIP_TOP);
    drawFace(vtx(10, 100), vtx(100, 400), vtx(10, 200), &flat, CLIP_BOTTOM);
    EXPECT_EQ(k.rowSpan(), std::make_pair(-32, 271));
    EXPECT_TRUE(k.marginsIntact());
}

TEST(RasterClip, UnknownModeFillsFlatAndModeEightNothing)
{
    GuardedFrame f;
    Material none = material(MODE_NONE), other = material(10);
    Vertex a = vtx(0, 10, 0x00FF0000), b = vtx(8, 10, 0x0000FF00), c = vtx(-8, 18, 0x000000FF);
    drawFace(a, b, c, &none, 0);
    drawFace(a, b, c, &none, CLIP_LEFT);
    EXPECT_TRUE(f.changed().empty());
    // Unknown modes: the face colour, through the clipper that keeps colours.
    // Cut at x = 0 the face is (0,10) (8,10) (0,14): 2 pixels less per row.
    drawFace(a, b, c, &other, CLIP_LEFT, 0x00345678);
    EXPECT_EQ(f.changed(), rows(11, 13, 0, [](int y) { return 27 - 2 * y; }));
    EXPECT_EQ(f.at(3, 12), 0x00345678u);
}

TEST(RasterGouraud, ScalarPathBelowFourRowsPackedFromFour)
{
    Material m = material(MODE_GOURAUD);
    // Black top (0,10), red middle (8,10), blue bottom (0,13): one half of 3
    // rows. Red steps 65280 / 8 = 8160 per pixel; blue runs down the left
    // edge at 65280 * (256/768) = 21760 per row.
    GuardedFrame f;
    drawFace(vtx(0, 10, 0), vtx(8, 10, 0x00FF0000), vtx(0, 13, 0x000000FF), &m, 0);
    EXPECT_EQ(f.changed(), unite({rows(11, 11, 0, 4), rows(12, 12, 0, 1)}));
    const uint32_t row11[5] = {0x00000055, 0x001F0055, 0x003F0055, 0x005F0055, 0x007F0055};
    for (int x = 0; x < 5; x++)
        EXPECT_EQ(f.at(x, 11), row11[x]) << x;
    EXPECT_EQ(f.at(1, 12), 0x001F00AAu);
    // 8 rows: the packed path, 9.7 lanes. Red steps 4080 per pixel in 8.8,
    // 2040 in a lane; blue 8160 per row down the left edge (4080 a lane).
    GuardedFrame g;
    drawFace(vtx(0, 10, 0), vtx(16, 10, 0x00FF0000), vtx(0, 18, 0x000000FF), &m, 0);
    EXPECT_EQ(g.changed(), rows(11, 17, 0, [](int y) { return 35 - 2 * y; }));
    EXPECT_EQ(g.at(0, 11), 0x0000001Fu);  // 4080 >> 7 = 31
    EXPECT_EQ(g.at(1, 11), 0x000F001Fu);  // 2040 >> 7 = 15
    EXPECT_EQ(g.at(13, 11), 0x00CF001Fu); // 26520 >> 7 = 207
    EXPECT_EQ(g.at(3, 14), 0x002F007Fu);  // 16320 >> 7 = 127 blue
}

TEST(RasterGouraud, ExtremeColoursStayInRangeOnBothPaths)
{
    Material m = material(MODE_GOURAUD);
    for (float bottomY : {13.0f, 200.0f}) { // 3 rows (scalar) and 190 rows (packed)
        for (uint32_t topColour : {0xFFFFFFFFu, 0x00000000u}) {
            GuardedFrame f(0x12345678);
            drawFace(vtx(0, 10, topColour), vtx(319.9f, 10.3f, ~topColour), vtx(0.3f, bottomY, topColour), &m, 0);
            ASSERT_EQ(f.at(0, 11) & 255, topColour ? 255u : 0u);
            // Grey stays grey (no channel carries into the next), and each
            // row runs monotonically toward the other colour without wrapping.
            for (int y = 11; y <= (int)bottomY; y++) {
                int prev = topColour ? 256 : -1;
                for (int x = 0; x < 320 && f.at(x, y) != 0x12345678u; x++) {
                    uint32_t p = f.at(x, y);
                    int grey = p & 255;
                    ASSERT_TRUE(p == grey * 0x01010101u && (topColour ? grey <= prev : grey >= prev))
                        << std::hex << p << " at " << std::dec << x << "," << y;
                    prev = grey;
                }
            }
        }
    }
}

TEST(RasterGouraud, PackedKernelMatchesScalarReferenceBitForBit)
{
    std::mt19937 rng(20240611);
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -65536, -65535, -256, -1, 0, 1, 255, 256,
                                65279, 65280, 65535, 65536, 70000, INT32_MAX - 1, INT32_MAX};
    auto pick = [&](int kind) -> int32_t {
        switch (kind) {
        case 0: return extremes[rng() % (sizeof extremes / sizeof extremes[0])];
        case 1: return (int32_t)(rng() % 65536);         // a channel's 8.8 range
        case 2: return (int32_t)(rng() % 131072) - 65536; // steep steps either way
        default: return (int32_t)rng();                   // anything
        }
    };
    uint32_t sse[64], ref[64];
    for (int iter = 0; iter < 60000; iter++) {
        int32_t start[4], step[4];
        for (int c = 0; c < 4; c++)
            start[c] = pick(rng() % 4), step[c] = pick(rng() % 4);
        int n = (int)(rng() % 64);
        memset(sse, 0xA5, sizeof sse);
        memset(ref, 0xA5, sizeof ref);
        span_GouraudRowPackedSSE2(sse, n, start, step);
        span_GouraudRowPackedRef(ref, n, start, step);
        ASSERT_EQ(memcmp(sse, ref, sizeof sse), 0) << "iteration " << iter << " n " << n;
    }
}

TEST(RasterGouraud, WholeTrianglesAreTheSameWithEitherKernel)
{
    std::mt19937 rng(7);
    Material m = material(MODE_GOURAUD);
    GuardedFrame withSSE2, withRef;
    std::vector<Vertex> verts;
    for (int i = 0; i < 3000; i++)
        verts.push_back(vtx((float)(rng() % 360) - 20.0f + (rng() % 256) / 256.0f,
                            (float)(rng() % 280) - 20.0f + (rng() % 256) / 256.0f, (uint32_t)rng()));
    for (GuardedFrame *f : {&withSSE2, &withRef}) {
        span_GouraudRowPacked = f == &withSSE2 ? span_GouraudRowPackedSSE2 : span_GouraudRowPackedRef;
        rnd_SetTarget(f->frame);
        for (size_t i = 0; i + 2 < verts.size(); i += 3) {
            uint8_t flags = 0;
            for (int k = 0; k < 3; k++) {
                const Vertex &p = verts[i + k];
                flags |= (p.sx < 0 ? CLIP_LEFT : 0) | (p.sx > 319 * 256 ? CLIP_RIGHT : 0) |
                         (p.sy < -256 ? CLIP_TOP : 0) | (p.sy > 239 * 256 ? CLIP_BOTTOM : 0);
            }
            drawFace(verts[i], verts[i + 1], verts[i + 2], &m, flags);
        }
    }
    span_GouraudRowPacked = span_GouraudRowPackedSSE2;
    EXPECT_EQ(memcmp(withSSE2.block, withRef.block, FRAME_BLOCK_PIXELS * 4), 0);
    EXPECT_NE(withSSE2.at(160, 120), 0u);
}

TEST(RasterTextured, TexelAddressingWrapsAndTooSmallTexturesDrawNothing)
{
    Texture *tex = txt_CreateTexture(256, 256, BITMAP_RGB32);
    for (int i = 0; i < 256 * 256; i++)
        ((uint32_t *)tex->bitmap->pixels)[i] = 0x01000000u | (uint32_t)i;
    Material m = material(MODE_TEXTURED, tex);
    // u follows x and v follows the row: pixel (x, row) shows texel
    // (x + u0, row - 10 + v0), wrapped to 8 bits each.
    for (auto [u0, v0] : {std::make_pair(0, 0), std::make_pair(250, -3)}) {
        GuardedFrame f;
        drawFace(vtx(0, 10, 0, u0 * 256, v0 * 256), vtx(8, 10, 0, u0 * 256 + 2048, v0 * 256),
                 vtx(0, 18, 0, u0 * 256, v0 * 256 + 2048), &m, 0);
        EXPECT_EQ(f.changed(), rows(11, 17, 0, [](int y) { return 17 - y; }));
        for (auto [x, y] : f.changed())
            EXPECT_EQ(f.at(x, y), 0x01000000u | (uint32_t)((y - 10 + v0) & 255) << 8 | (uint32_t)((x + u0) & 255))
                << x << "," << y;
    }
    txt_FreeTexture(tex);
    Texture *small = txt_CreateTexture(16, 16, BITMAP_RGB32); // the sanitizer build checks the reads
    Material tooSmall = material(MODE_TEXTURED, small), none = material(MODE_TEXTURED, nullptr);
    GuardedFrame f;
    drawFace(vtx(0, 10, 0, 0, 0), vtx(200, 10, 0, 60000, 0), vtx(0, 200, 0, 0, 60000), &tooSmall, 0);
    drawFace(vtx(0, 10, 0, 0, 0), vtx(200, 10, 0, 60000, 0), vtx(0, 200, 0, 0, 60000), &none, 0);
    EXPECT_TRUE(f.changed().empty());
    txt_FreeTexture(small);
}

TEST(RasterEdges, HandComputedRowsAndNothingForBlackOrFlatFaces)
{
    GuardedFrame f(0x7F7F7F7F);
    Material m = material(MODE_EDGES);
    // (10,10) (20,20) (10,30), colour 0x402010. Left edge x = 10 (weight 0);
    // right edge 10.9375 on row 11 (even column 10, weight 30720: share
    // 30, 15, 7), 11.9375 on row 12 (odd column: share 0), 19.0625 on row 21,
    // 10.0625 on row 30 (weight 2048: share 2, 1, 0).
    drawFace(vtx(10, 10), vtx(20, 20), vtx(10, 30), &m, 0, 0xAB402010);
    const std::pair<std::pair<int, int>, uint32_t> expected[] = {
        {{10, 11}, 0x7F9D8E86}, {{11, 11}, 0x7F617078}, {{10, 12}, 0x7FBF9F8F}, {{11, 12}, 0x7F3F5F6F},
        {{10, 21}, 0x7FBF9F8F}, {{19, 21}, 0x7F3F5F6F}, {{10, 30}, 0x7F81807F}, {{11, 30}, 0x7F7D7E7F}};
    for (auto [xy, colour] : expected)
        EXPECT_EQ(f.at(xy.first, xy.second), colour) << xy.first << "," << xy.second;
    EXPECT_EQ(f.at(12, 12), 0x7F7F7F7Fu);
    EXPECT_EQ(f.rowSpan(), std::make_pair(11, 30));

    GuardedFrame g(0x7F7F7F7F);
    drawFace(vtx(10, 10), vtx(200, 60), vtx(30, 200), &m, 0, 0x00000000);
    drawFace(vtx(10, 10), vtx(200, 60), vtx(30, 200), &m, 0, 0xFF000000); // only the fourth byte: still black
    drawFace(vtx(10, 10.0f), vtx(200, 10.5f), vtx(30, 10.99f), &m, 0, 0x00FFFFFF);
    EXPECT_TRUE(g.changed().empty());
}

TEST(RasterEdges, OnlyEdgeBytesChangeAndEveryRowSumsBackToTheBias)
{
    GuardedFrame f(0x7F7F7F7F);
    Material m = material(MODE_EDGES);
    drawFace(vtx(40.3f, 20.7f), vtx(250.6f, 90.2f), vtx(100.1f, 180.4f), &m, 0, 0x00305070);
    const int want[3] = {0x70, 0x50, 0x30};
    int rowsTouched = 0;
    for (int y = 0; y < 240; y++) {
        int changed = 0, full = 0, sum[3] = {0, 0, 0};
        for (int x = 0; x < 320; x++) {
            uint32_t p = f.at(x, y);
            changed += p != 0x7F7F7F7Fu;
            ASSERT_EQ(p >> 24, 0x7Fu); // the fourth byte is never touched
            // The running sum is the coverage: between none and the colour.
            for (int ch = 0; ch < 3; ch++) {
                sum[ch] += (int)(p >> (8 * ch) & 255) - 127;
                ASSERT_TRUE(sum[ch] >= 0 && sum[ch] <= want[ch]) << x << "," << y;
            }
            full += sum[0] == want[0] && sum[1] == want[1] && sum[2] == want[2];
        }
        ASSERT_LE(changed, 4) << "row " << y;
        EXPECT_TRUE(sum[0] == 0 && sum[1] == 0 && sum[2] == 0) << "row " << y;
        EXPECT_TRUE(full > 10 || y < 30 || y > 170) << "row " << y;
        rowsTouched += changed != 0;
    }
    EXPECT_EQ(rowsTouched, 180 - 20);
}

TEST(RasterLines, EndpointsAndBlendWeights)
{
    auto line = [](GuardedFrame &f, float x0, float y0, float x1, float y1, uint32_t colour) {
        const float from[2] = {x0 * 256, y0 * 256}, to[2] = {x1 * 256, y1 * 256};
        line_Draw2D(f.frame, from, to, colour);
    };
    // Whole pixels 10..20 inclusive, weight 256 on the row and 0 (only the
    // fourth byte set) below.
    GuardedFrame f;
    line(f, 10, 20, 20, 20, 0x00FF0000);
    EXPECT_EQ(f.changed(), rows(20, 21, 10, 20));
    EXPECT_TRUE(f.at(10, 20) == 0xFFFF0000u && f.at(20, 21) == 0xFF000000u);
    GuardedFrame g;
    line(g, 0, 0, 10, 5, 0x00FF0000); // slope 32768: half a row per column
    EXPECT_TRUE(g.at(1, 0) == 0xFF7F0000u && g.at(1, 1) == 0xFF7F0000u); // f = 128 on both rows
    EXPECT_TRUE(g.at(2, 1) == 0xFFFF0000u && g.at(2, 2) == 0xFF000000u);
    GuardedFrame h(0x00204060);
    line(h, 100, 20.25f, 110, 20.25f, 0x00FFFFFF);
    EXPECT_EQ(h.at(100, 20), 0xFFC7CFD7u); // d + ((255 - d) * 192 >> 8)
    EXPECT_EQ(h.at(100, 21), 0xFF576F87u); // d + ((255 - d) * 64 >> 8)
    GuardedFrame k(0x00FFFFFF);
    line(k, 100, 20.25f, 110, 20.25f, 0);
    EXPECT_EQ(k.at(105, 20), 0xFF3F3F3Fu); // 255 + (-48960 >> 8) = 63: the shift floors
    EXPECT_EQ(k.at(105, 21), 0xFFBFBFBFu); // 255 - 64

    // Clipped to the inner rectangle or dropped. Vertical: rows 0..238 (the
    // column after it only gets the fourth byte). Right: x up to 318.
    GuardedFrame c;
    line(c, -50, 20, 50, 20, 0x00FFFFFF);
    line(c, 100, -50, 100, 300, 0x00FFFFFF);
    line(c, 300, 30, 400, 30, 0x00FFFFFF);
    EXPECT_EQ(c.changed(), unite({rows(20, 21, 0, 50), rows(0, 238, 100, 101), rows(30, 31, 300, 318)}));
    GuardedFrame out;
    line(out, -10, -10, -5, 100, 0x00FFFFFF);
    line(out, 400, 10, 500, 200, 0x00FFFFFF);
    line(out, 10, 250, 300, 260, 0x00FFFFFF);
    EXPECT_TRUE(out.changed().empty());
}

TEST(RasterLines, RectangleBeforeTheFirstRenderThenTheViews)
{
    // One process per test: nothing has installed clip lines in this one, so
    // lines see x 0..319 and y -1..238.
    const float a[2] = {100 * 256.0f, -50 * 256.0f}, b[2] = {100 * 256.0f, 300 * 256.0f};
    const float c[2] = {300 * 256.0f, 30 * 256.0f}, d[2] = {400 * 256.0f, 30 * 256.0f};
    GuardedFrame f(0, false);
    line_Draw2D(f.frame, a, b, 0x00FFFFFF);
    line_Draw2D(f.frame, c, d, 0x00FFFFFF);
    EXPECT_EQ(f.changed(), unite({rows(-1, 238, 100, 101), rows(30, 31, 300, 319)}));
    // Creating the view installs its clip lines -1 and 239, as a render would:
    // y 0..238, x 0..318.
    RenderView *view = rnd_CreateView();
    ASSERT_NE(view, nullptr);
    GuardedFrame g(0, false);
    line_Draw2D(g.frame, a, b, 0x00FFFFFF);
    line_Draw2D(g.frame, c, d, 0x00FFFFFF);
    EXPECT_EQ(g.changed(), unite({rows(0, 238, 100, 101), rows(30, 31, 300, 318)}));
    free(view);
}

namespace {

int32_t wildCoordinate(std::mt19937 &rng)
{
    switch (rng() % 8) {
    case 0: return INT32_MIN; // what a NaN or overflowing projection becomes
    case 1: return INT32_MAX;
    case 2: return (int32_t)rng();
    case 3: return (int32_t)(rng() % 2000000) - 1000000;      // thousands of pixels off
    case 4: return (int32_t)(rng() % (400 * 256)) - 40 * 256; // around the screen
    default: return (int32_t)(rng() % (320 * 256));           // on it
    }
}

float wildFloat(std::mt19937 &rng)
{
    switch (rng() % 8) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return (rng() & 1) ? INFINITY : -INFINITY;
    case 2: return (rng() & 1) ? 3e38f : -3e38f;
    case 3: return (float)(int32_t)rng();
    case 4: return (float)((int32_t)(rng() % 200000) - 100000);
    default: return (float)(rng() % (360 * 256)) - 20 * 256.0f;
    }
}

} // namespace

TEST(RasterHostile, NothingIsWrittenOutsideTheBlock)
{
    Texture *tex = txt_CreateTexture(256, 256, BITMAP_RGB32);
    Material materials[6] = {material(MODE_TEXTURED, tex), material(MODE_GOURAUD), material(MODE_FLAT),
                             material(MODE_NONE), material(MODE_EDGES), material(10)};
    // A frame with sentinels around its block, and a block of exactly its
    // size on the heap for the sanitizer build.
    GuardedFrame guarded(0x7F7F7F7F);
    std::unique_ptr<uint32_t[]> exact(new uint32_t[FRAME_BLOCK_PIXELS]());
    std::mt19937 rng(99);
    for (uint32_t *target : {guarded.frame, exact.get() + FRAME_GUARD_PIXELS}) {
        rnd_SetTarget(target);
        for (int i = 0; i < 10000; i++) {
            if (i % 500 == 0) {
                int32_t y0 = (rng() & 1) ? wildCoordinate(rng) : (int32_t)(rng() % 80) - 40;
                int32_t y1 = (rng() & 1) ? wildCoordinate(rng) : (int32_t)(rng() % 80) + 200;
                rnd_SetClipLines(y0, y1);
            }
            Vertex v[3];
            for (Vertex &p : v) {
                p = vtx(0, 0, (uint32_t)rng(), wildCoordinate(rng), wildCoordinate(rng), wildCoordinate(rng));
                p.sx = wildCoordinate(rng);
                p.sy = wildCoordinate(rng);
                p.clipFlags = (uint8_t)rng();
            }
            drawFace(v[0], v[1], v[2], &materials[rng() % 6], (uint8_t)(rng() & 31), (uint32_t)rng());
            // The fillers straight, sorted as the face code would, and not.
            Vertex *s[3] = {&v[0], &v[1], &v[2]};
            if (rng() & 1)
                std::sort(s, s + 3, [](const Vertex *p, const Vertex *q) { return p->sy < q->sy; });
            TriFillFn fills[4] = {tri_Flat, tri_Gouraud, tri_Textured, tri_EdgeAccumulate};
            fills[rng() % 4](s[0], s[1], s[2], &materials[0], (uint32_t)rng());
            const float from[2] = {wildFloat(rng), wildFloat(rng)}, to[2] = {wildFloat(rng), wildFloat(rng)};
            line_Draw2D(target, from, to, (uint32_t)rng());
            line_DrawAA(target, FRAME_WIDTH, wildCoordinate(rng), wildCoordinate(rng), wildCoordinate(rng),
                        wildCoordinate(rng), (uint32_t)rng());
        }
    }
    EXPECT_TRUE(guarded.marginsIntact());
    EXPECT_NE(guarded.changed().size(), 0u);
    txt_FreeTexture(tex);
}
