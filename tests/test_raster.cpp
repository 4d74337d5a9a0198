// The rasteriser: fill conventions, clipping and the fan, Gouraud paths and
// their kernels, texturing, edge accumulation, lines, and hostile input that
// must never write outside a frame's block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <set>
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
struct GuardedFrame {
    static const int kMargin = 8192;
    std::vector<uint32_t> memory;
    uint32_t *block;
    uint32_t *frame;
    uint32_t background;

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
    bool marginsIntact() const
    {
        for (int i = 0; i < kMargin; i++)
            if (memory[i] != kSentinel || memory[kMargin + FRAME_BLOCK_PIXELS + i] != kSentinel)
                return false;
        return true;
    }
};

Vertex vtx(float x, float y, uint32_t colour = 0, int32_t u = 0, int32_t v = 0, int32_t cz = 0)
{
    Vertex p;
    memset(&p, 0, sizeof p);
    p.kind = 1;
    p.sx = (int32_t)(x * 256.0f); // pixel -> 24.8
    p.sy = (int32_t)(y * 256.0f);
    p.colour = colour;
    p.u = u;
    p.v = v;
    p.cz = cz;
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

void drawFace(Vertex *a, Vertex *b, Vertex *c, Material *m, uint8_t flags, uint32_t colour = 0x00FFFFFF)
{
    Face f;
    memset(&f, 0, sizeof f);
    f.a = a;
    f.b = b;
    f.c = c;
    f.material = m;
    f.clipFlags = flags;
    f.colour = colour;
    rnd_DrawFace(&f);
}

PixelSet rowRange(int y, int x0, int x1) // x0..x1 inclusive
{
    PixelSet s;
    for (int x = x0; x <= x1; x++)
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
    fanned.push_back(*top);
    fanned.push_back(*middle);
    fanned.push_back(*bottom);
}

} // namespace

// ---------------------------------------------------------------------------
// Fill conventions
// ---------------------------------------------------------------------------

TEST(RasterFill, RowsBelowTopThroughBottomAndRightEdgeExcluded)
{
    GuardedFrame f;
    Material flat = material(MODE_FLAT);
    // Top at 10.0, bottom at 12.0: rows 11 and 12, not 10. The right edge
    // runs from 2.0 to 6.0 and stops short of its own column.
    Vertex a = vtx(2, 10), b = vtx(2, 12), c = vtx(6, 12);
    drawFace(&a, &b, &c, &flat, 0, 0x00123456);
    EXPECT_EQ(f.changed(), unite({rowRange(11, 2, 3), rowRange(12, 2, 5)}));
    EXPECT_EQ(f.at(2, 11), 0x00123456u);
}

TEST(RasterFill, ZeroAndOneRowTriangles)
{
    GuardedFrame f;
    Material flat = material(MODE_FLAT);
    Vertex a = vtx(0, 10.25f), b = vtx(40, 10.5f), c = vtx(0, 10.75f);
    drawFace(&a, &b, &c, &flat, 0);
    EXPECT_TRUE(f.changed().empty()); // inside one pixel row

    // 10.5 .. 11.5 covers row 11 only; the middle vertex at x 8 makes the
    // short edges the right ones.
    Vertex d = vtx(0, 10.5f), e = vtx(8, 11), g = vtx(0, 11.5f);
    drawFace(&d, &e, &g, &flat, 0);
    EXPECT_EQ(f.changed(), rowRange(11, 0, 7));
}

// ---------------------------------------------------------------------------
// Clipping and the fan
// ---------------------------------------------------------------------------

TEST(RasterClip, VertexAt320IsInsideAndSpansEndBefore320)
{
    GuardedFrame f;
    Material flat = material(MODE_FLAT);
    // Flagged right by the vertex test (beyond 319), yet inside the clipper's
    // 320: the pass only copies. Rows 11..19 run from 310 + (row - 10) to 319.
    Vertex a = vtx(310, 10), b = vtx(320, 10), c = vtx(320, 20);
    drawFace(&a, &b, &c, &flat, CLIP_RIGHT);
    PixelSet expected;
    for (int y = 11; y <= 19; y++)
        for (int x = 300 + y; x <= 319; x++)
            expected.insert({x, y});
    EXPECT_EQ(f.changed(), expected);
}

TEST(RasterClip, CutAt320AndFannedIntoTwoTriangles)
{
    GuardedFrame f;
    Material flat = material(MODE_FLAT);
    // (300,10) (340,10) (300,20) cut at x = 320 gives the quad (300,10)
    // (320,10) (320,15) (300,20): rows 11..15 full to 319, then the
    // hypotenuse 4 pixels per row.
    Vertex a = vtx(300, 10), b = vtx(340, 10), c = vtx(300, 20);
    drawFace(&a, &b, &c, &flat, CLIP_RIGHT);
    PixelSet expected;
    for (int y = 11; y <= 15; y++)
        expected = unite({expected, rowRange(y, 300, 319)});
    for (int y = 16; y <= 19; y++)
        expected = unite({expected, rowRange(y, 300, 300 + 4 * (20 - y) - 1)});
    EXPECT_EQ(f.changed(), expected);

    Material rec = material(MODE_FLAT);
    rec.triFill = recordTriangle;
    fanned.clear();
    drawFace(&a, &b, &c, &rec, CLIP_RIGHT);
    ASSERT_EQ(fanned.size(), 6u);
    const int32_t expectXY[6][2] = {{300, 10}, {320, 10}, {320, 15}, {300, 10}, {320, 15}, {300, 20}};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(fanned[i].sx, expectXY[i][0] * 256) << i;
        EXPECT_EQ(fanned[i].sy, expectXY[i][1] * 256) << i;
    }
}

TEST(RasterClip, IntersectionFractionsAndInterpolatedFields)
{
    GuardedFrame f;
    // A (-3,0) lies left of the screen. Walking (C,A), (A,B), (B,C):
    // C->A leaves at t = (-1280*256 - 1024) / -2048 = 160 (truncated 160.5),
    // A->B enters at t = (768*256 + 1024) / 2048 = 96 (truncated 96.5).
    Vertex a = vtx(-3, 0, 0x00000000, 0, 0, 0);
    Vertex b = vtx(5, 10, 0x00FF80FF, 1000, -1000, 2560);
    Vertex c = vtx(5, 0, 0x00FF80FF, 512, 0, 256);

    Material full = material(MODE_GOURAUD);
    full.triFill = recordTriangle;
    fanned.clear();
    drawFace(&a, &b, &c, &full, CLIP_LEFT);
    // Fan (I1, I2, B) sorted: I1, I2, B; fan (I1, B, C) sorted: I1, C, B.
    ASSERT_EQ(fanned.size(), 6u);
    const Vertex &i1 = fanned[0], &i2 = fanned[1];
    EXPECT_EQ(i1.sx, 0);
    EXPECT_EQ(i1.sy, 0);
    EXPECT_EQ(i1.colour, 0x00603060u); // 255 + ((-255*160 + 127) >> 8) = 96; 128 - 80 = 48
    EXPECT_EQ(i1.u, 192);              // 512 + ((-512*160 + 127) >> 8)
    EXPECT_EQ(i2.sx, 0);
    EXPECT_EQ(i2.sy, 960);             // (2560*96 + 127) >> 8
    EXPECT_EQ(i2.colour, 0x00603060u);
    EXPECT_EQ(i2.u, 375);
    EXPECT_EQ(i2.v, -375);             // (-96000 + 127) >> 8, arithmetic
    EXPECT_EQ(fanned[2].sy, b.sy);
    EXPECT_EQ(fanned[3].sy, 0);
    EXPECT_EQ(fanned[4].sx, c.sx);
    EXPECT_EQ(fanned[5].sx, b.sx);

    Material depth = material(MODE_FLAT);
    depth.triFill = recordTriangle;
    fanned.clear();
    drawFace(&a, &b, &c, &depth, CLIP_LEFT);
    ASSERT_EQ(fanned.size(), 6u);
    EXPECT_EQ(fanned[0].cz, 96);  // 256 + ((-256*160 + 127) >> 8)
    EXPECT_EQ(fanned[1].cz, 960);
    EXPECT_EQ(fanned[0].colour, c.colour); // not interpolated by the depth clipper
}

TEST(RasterClip, ClipLinesBoundTheFilledRows)
{
    Material flat = material(MODE_FLAT);
    Vertex a = vtx(0, -20), b = vtx(300, -20), c = vtx(0, 260);
    {
        GuardedFrame f;
        drawFace(&a, &b, &c, &flat, CLIP_TOP | CLIP_BOTTOM);
        PixelSet px = f.changed();
        ASSERT_FALSE(px.empty());
        int top = 1000, bottom = -1000;
        for (auto &p : px) {
            top = std::min(top, p.second);
            bottom = std::max(bottom, p.second);
        }
        EXPECT_EQ(top, 0);
        EXPECT_EQ(bottom, 239);
        EXPECT_EQ(f.at(0, 0), 0x00FFFFFFu);
    }
    {
        GuardedFrame f;
        rnd_SetClipLines(20, 200);
        drawFace(&a, &b, &c, &flat, CLIP_TOP | CLIP_BOTTOM);
        PixelSet px = f.changed();
        ASSERT_FALSE(px.empty());
        EXPECT_EQ(px.begin()->first, 0);
        int top = 1000, bottom = -1000;
        for (auto &p : px) {
            top = std::min(top, p.second);
            bottom = std::max(bottom, p.second);
        }
        EXPECT_EQ(top, 21);
        EXPECT_EQ(bottom, 200);
    }
}

TEST(RasterClip, TallerThanTheTablesIsNotDrawn)
{
    Material flat = material(MODE_FLAT);
    // 280 rows: beyond what the 65,536-entry tables index (255 rows and a
    // bit). Unclipped, it is dropped; clipped to the default lines it is 240
    // rows and drawn.
    Vertex a = vtx(10, -20), b = vtx(100, 100), c = vtx(10, 260);
    GuardedFrame f;
    drawFace(&a, &b, &c, &flat, 0);
    EXPECT_TRUE(f.changed().empty());
    drawFace(&a, &b, &c, &flat, CLIP_TOP | CLIP_BOTTOM);
    EXPECT_FALSE(f.changed().empty());
    // Clip lines beyond the block are held to its ends: faces clipped to
    // them fill rows -32 to 271 at most.
    GuardedFrame g;
    rnd_SetClipLines(-1000, 1000);
    Vertex d = vtx(10, -100), e = vtx(100, 100), h = vtx(10, 150);
    drawFace(&d, &e, &h, &flat, CLIP_TOP);
    Vertex k = vtx(10, 100), l = vtx(100, 400), n = vtx(10, 200);
    drawFace(&k, &l, &n, &flat, CLIP_BOTTOM);
    int top = 1000, bottom = -1000;
    for (auto &p : g.changed()) {
        top = std::min(top, p.second);
        bottom = std::max(bottom, p.second);
    }
    EXPECT_EQ(top, -32);
    EXPECT_EQ(bottom, 271);
    EXPECT_TRUE(g.marginsIntact());
}

TEST(RasterClip, UnknownModeFillsFlatAndModeEightNothing)
{
    GuardedFrame f;
    Material none = material(MODE_NONE), other = material(10);
    Vertex a = vtx(0, 10, 0x00FF0000), b = vtx(8, 10, 0x0000FF00), c = vtx(-8, 18, 0x000000FF);
    drawFace(&a, &b, &c, &none, 0);
    drawFace(&a, &b, &c, &none, CLIP_LEFT);
    EXPECT_TRUE(f.changed().empty());
    // Unknown modes: the face colour, through the clipper that keeps colours.
    // Cut at x = 0 the face is (0,10) (8,10) (0,14): 2 pixels less per row.
    drawFace(&a, &b, &c, &other, CLIP_LEFT, 0x00345678);
    EXPECT_EQ(f.changed(), unite({rowRange(11, 0, 5), rowRange(12, 0, 3), rowRange(13, 0, 1)}));
    EXPECT_EQ(f.at(3, 12), 0x00345678u);
}

// ---------------------------------------------------------------------------
// Gouraud
// ---------------------------------------------------------------------------

TEST(RasterGouraud, ScalarPathBelowFourRows)
{
    GuardedFrame f;
    Material m = material(MODE_GOURAUD);
    // Black top (0,10), red middle (8,10), blue bottom (0,13): one half of 3
    // rows. Red steps 65280 / 8 = 8160 per pixel; blue runs down the left
    // edge at 65280 * (256/768) = 21760 per row.
    Vertex a = vtx(0, 10, 0x00000000), b = vtx(8, 10, 0x00FF0000), c = vtx(0, 13, 0x000000FF);
    drawFace(&a, &b, &c, &m, 0);
    EXPECT_EQ(f.changed(), unite({rowRange(11, 0, 4), rowRange(12, 0, 1)}));
    const uint32_t row11[5] = {0x00000055, 0x001F0055, 0x003F0055, 0x005F0055, 0x007F0055};
    for (int x = 0; x < 5; x++)
        EXPECT_EQ(f.at(x, 11), row11[x]) << x;
    EXPECT_EQ(f.at(0, 12), 0x000000AAu);
    EXPECT_EQ(f.at(1, 12), 0x001F00AAu);
}

TEST(RasterGouraud, PackedPathFromFourRows)
{
    GuardedFrame f;
    Material m = material(MODE_GOURAUD);
    // 8 rows: the packed path, 9.7 lanes. Red steps 4080 per pixel in 8.8,
    // 2040 in a lane; blue 8160 per row down the left edge (4080 a lane).
    Vertex a = vtx(0, 10, 0x00000000), b = vtx(16, 10, 0x00FF0000), c = vtx(0, 18, 0x000000FF);
    drawFace(&a, &b, &c, &m, 0);
    PixelSet expected;
    for (int y = 11; y <= 17; y++)
        expected = unite({expected, rowRange(y, 0, 13 - 2 * (y - 11))});
    EXPECT_EQ(f.changed(), expected);
    EXPECT_EQ(f.at(0, 11), 0x0000001Fu);  // 4080 >> 7 = 31
    EXPECT_EQ(f.at(1, 11), 0x000F001Fu);  // 2040 >> 7 = 15
    EXPECT_EQ(f.at(5, 11), 0x004F001Fu);  // 10200 >> 7 = 79
    EXPECT_EQ(f.at(13, 11), 0x00CF001Fu); // 26520 >> 7 = 207
    EXPECT_EQ(f.at(0, 14), 0x0000007Fu);  // 16320 >> 7 = 127
    EXPECT_EQ(f.at(3, 14), 0x002F007Fu);
}

TEST(RasterGouraud, ExtremeColoursStayInRangeOnBothPaths)
{
    Material m = material(MODE_GOURAUD);
    const float bottoms[2] = {13.0f, 200.0f}; // 3 rows (scalar) and 190 rows (packed)
    for (float bottomY : bottoms) {
        for (uint32_t topColour : {0xFFFFFFFFu, 0x00000000u}) {
            GuardedFrame f(0x12345678);
            uint32_t other = ~topColour;
            Vertex a = vtx(0, 10, topColour), b = vtx(319.9f, 10.3f, other), c = vtx(0.3f, bottomY, topColour);
            drawFace(&a, &b, &c, &m, 0);
            PixelSet px = f.changed();
            ASSERT_FALSE(px.empty());
            // Grey stays grey (no channel carries into the next), and each
            // row runs monotonically toward the other colour without wrapping.
            for (int y = 11; y <= (int)bottomY; y++) {
                int prev = topColour ? 256 : -1;
                for (int x = 0; x < 320 && f.at(x, y) != 0x12345678u; x++) {
                    uint32_t p = f.at(x, y);
                    int b0 = p & 255;
                    ASSERT_TRUE(p == b0 * 0x01010101u) << std::hex << p << " at " << std::dec << x << "," << y;
                    if (topColour)
                        ASSERT_LE(b0, prev) << x << "," << y;
                    else
                        ASSERT_GE(b0, prev) << x << "," << y;
                    prev = b0;
                }
            }
            uint32_t first = f.at(0, 11);
            EXPECT_EQ(first & 255, topColour ? 255u : 0u);
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
        case 1: return (int32_t)(rng() % 65536);                // a channel's 8.8 range
        case 2: return (int32_t)(rng() % 131072) - 65536;        // steep steps either way
        default: return (int32_t)rng();                          // anything
        }
    };
    uint32_t sse[64], ref[64];
    for (int iter = 0; iter < 200000; iter++) {
        int32_t start[4], step[4];
        for (int c = 0; c < 4; c++) {
            start[c] = pick(rng() % 4);
            step[c] = pick(rng() % 4);
        }
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
            drawFace(&verts[i], &verts[i + 1], &verts[i + 2], &m, flags);
        }
    }
    span_GouraudRowPacked = span_GouraudRowPackedSSE2;
    EXPECT_EQ(memcmp(withSSE2.block, withRef.block, FRAME_BLOCK_PIXELS * 4), 0);
    EXPECT_NE(withSSE2.at(160, 120), 0u);
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

TEST(RasterTextured, TexelAddressingAndWrap)
{
    Texture *tex = txt_CreateTexture(256, 256, BITMAP_RGB32);
    uint32_t *texels = (uint32_t *)tex->bitmap->pixels;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            texels[y * 256 + x] = 0x01000000u | (uint32_t)y << 8 | (uint32_t)x;
    Material m = material(MODE_TEXTURED, tex);
    // u follows x and v follows the row: pixel (x, row) shows texel
    // (x + u0, row - 10 + v0), wrapped to 8 bits each.
    const int offsets[2][2] = {{0, 0}, {250, -3}};
    for (const auto &o : offsets) {
        GuardedFrame f;
        int32_t u0 = o[0] * 256, v0 = o[1] * 256;
        Vertex a = vtx(0, 10, 0, u0, v0), b = vtx(8, 10, 0, u0 + 2048, v0), c = vtx(0, 18, 0, u0, v0 + 2048);
        drawFace(&a, &b, &c, &m, 0);
        PixelSet expected;
        for (int y = 11; y <= 17; y++)
            for (int x = 0; x <= 17 - y; x++) {
                expected.insert({x, y});
                uint32_t want = 0x01000000u | (uint32_t)((y - 10 + o[1]) & 255) << 8 | (uint32_t)((x + o[0]) & 255);
                EXPECT_EQ(f.at(x, y), want) << x << "," << y;
            }
        EXPECT_EQ(f.changed(), expected);
    }
    txt_FreeTexture(tex);
}

TEST(RasterTextured, TextureTooSmallForItsAddressingDrawsNothing)
{
    Texture *tex = txt_CreateTexture(16, 16, BITMAP_RGB32); // the sanitizer build checks the reads
    Material m = material(MODE_TEXTURED, tex);
    GuardedFrame f;
    Vertex a = vtx(0, 10, 0, 0, 0), b = vtx(200, 10, 0, 60000, 0), c = vtx(0, 200, 0, 0, 60000);
    drawFace(&a, &b, &c, &m, 0);
    Material none = material(MODE_TEXTURED, nullptr);
    drawFace(&a, &b, &c, &none, 0);
    EXPECT_TRUE(f.changed().empty());
    txt_FreeTexture(tex);
}

// ---------------------------------------------------------------------------
// Edge accumulation
// ---------------------------------------------------------------------------

TEST(RasterEdges, HandComputedRows)
{
    GuardedFrame f(0x7F7F7F7F);
    Material m = material(MODE_EDGES);
    // (10,10) (20,20) (10,30), colour 0x402010. Left edge x = 10 (weight 0);
    // right edge 10.9375 on row 11 (even column 10, weight 30720: share
    // 30, 15, 7), 11.9375 on row 12 (odd column: share 0), 19.0625 on row 21,
    // 10.0625 on row 30 (weight 2048: share 2, 1, 0).
    Vertex a = vtx(10, 10), b = vtx(20, 20), c = vtx(10, 30);
    drawFace(&a, &b, &c, &m, 0, 0xAB402010);
    EXPECT_EQ(f.at(10, 11), 0x7F9D8E86u);
    EXPECT_EQ(f.at(11, 11), 0x7F617078u);
    EXPECT_EQ(f.at(10, 12), 0x7FBF9F8Fu);
    EXPECT_EQ(f.at(11, 12), 0x7F3F5F6Fu);
    EXPECT_EQ(f.at(12, 12), 0x7F7F7F7Fu);
    EXPECT_EQ(f.at(10, 21), 0x7FBF9F8Fu);
    EXPECT_EQ(f.at(19, 21), 0x7F3F5F6Fu);
    EXPECT_EQ(f.at(10, 30), 0x7F81807Fu);
    EXPECT_EQ(f.at(11, 30), 0x7F7D7E7Fu);
    for (int x = 0; x < 320; x++) {
        EXPECT_EQ(f.at(x, 10), 0x7F7F7F7Fu);
        EXPECT_EQ(f.at(x, 31), 0x7F7F7F7Fu);
    }
}

TEST(RasterEdges, OnlyEdgeBytesChangeAndEveryRowSumsBackToTheBias)
{
    GuardedFrame f(0x7F7F7F7F);
    Material m = material(MODE_EDGES);
    const uint32_t colour = 0x00305070;
    Vertex a = vtx(40.3f, 20.7f), b = vtx(250.6f, 90.2f), c = vtx(100.1f, 180.4f);
    drawFace(&a, &b, &c, &m, 0, colour);
    const int want[3] = {0x70, 0x50, 0x30};
    int rowsTouched = 0;
    for (int y = 0; y < 240; y++) {
        int changed = 0, full = 0;
        int sum[3] = {0, 0, 0};
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
        EXPECT_EQ(sum[0], 0) << "row " << y;
        EXPECT_EQ(sum[1], 0) << "row " << y;
        EXPECT_EQ(sum[2], 0) << "row " << y;
        if (y >= 30 && y <= 170) {
            EXPECT_GT(full, 10) << "row " << y;
        }
        rowsTouched += changed != 0;
    }
    EXPECT_EQ(rowsTouched, 180 - 20);
}

TEST(RasterEdges, BlackAndFlatterThanARowDrawNothing)
{
    GuardedFrame f(0x7F7F7F7F);
    Material m = material(MODE_EDGES);
    Vertex a = vtx(10, 10), b = vtx(200, 60), c = vtx(30, 200);
    drawFace(&a, &b, &c, &m, 0, 0x00000000);
    drawFace(&a, &b, &c, &m, 0, 0xFF000000); // only the fourth byte: still black
    Vertex d = vtx(10, 10.0f), e = vtx(200, 10.5f), g = vtx(30, 10.99f);
    drawFace(&d, &e, &g, &m, 0, 0x00FFFFFF);
    EXPECT_TRUE(f.changed().empty());
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

TEST(RasterLines, EndpointsAndBlendWeights)
{
    GuardedFrame f;
    const float from[2] = {10 * 256.0f, 20 * 256.0f}, to[2] = {20 * 256.0f, 20 * 256.0f};
    line_Draw2D(f.frame, from, to, 0x00FF0000);
    // Whole pixels 10..20 inclusive, weight 256 on the row and 0 (only the
    // fourth byte set) below.
    EXPECT_EQ(f.changed(), unite({rowRange(20, 10, 20), rowRange(21, 10, 20)}));
    EXPECT_EQ(f.at(10, 20), 0xFFFF0000u);
    EXPECT_EQ(f.at(20, 21), 0xFF000000u);

    GuardedFrame g;
    const float a[2] = {0, 0}, b[2] = {10 * 256.0f, 5 * 256.0f}; // slope 32768: half a row per column
    line_Draw2D(g.frame, a, b, 0x00FF0000);
    EXPECT_EQ(g.at(1, 0), 0xFF7F0000u); // f = 128 on both rows
    EXPECT_EQ(g.at(1, 1), 0xFF7F0000u);
    EXPECT_EQ(g.at(2, 1), 0xFFFF0000u);
    EXPECT_EQ(g.at(2, 2), 0xFF000000u);

    GuardedFrame h(0x00204060);
    const float c[2] = {100 * 256.0f, 20.25f * 256}, d[2] = {110 * 256.0f, 20.25f * 256};
    line_Draw2D(h.frame, c, d, 0x00FFFFFF);
    EXPECT_EQ(h.at(100, 20), 0xFFC7CFD7u); // d + ((255 - d) * 192 >> 8)
    EXPECT_EQ(h.at(100, 21), 0xFF576F87u); // d + ((255 - d) * 64 >> 8)
    GuardedFrame k(0x00FFFFFF);
    line_Draw2D(k.frame, c, d, 0x00000000);
    EXPECT_EQ(k.at(105, 20), 0xFF3F3F3Fu); // 255 + (-48960 >> 8) = 63: the shift floors
    EXPECT_EQ(k.at(105, 21), 0xFFBFBFBFu); // 255 - 64
}

TEST(RasterLines, ClippedToTheInnerRectangleOrDropped)
{
    GuardedFrame f;
    const float a[2] = {-50 * 256.0f, 20 * 256.0f}, b[2] = {50 * 256.0f, 20 * 256.0f};
    line_Draw2D(f.frame, a, b, 0x00FFFFFF);
    EXPECT_EQ(f.changed(), unite({rowRange(20, 0, 50), rowRange(21, 0, 50)}));

    GuardedFrame g; // vertical, clipped to rows 0..238; column 101 only gets the fourth byte
    const float c[2] = {100 * 256.0f, -50 * 256.0f}, d[2] = {100 * 256.0f, 300 * 256.0f};
    line_Draw2D(g.frame, c, d, 0x00FFFFFF);
    PixelSet expected;
    for (int y = 0; y <= 238; y++) {
        expected.insert({100, y});
        expected.insert({101, y});
    }
    EXPECT_EQ(g.changed(), expected);

    GuardedFrame h; // right: x up to 318, so the pixel after it stays on the row
    const float e[2] = {300 * 256.0f, 30 * 256.0f}, k[2] = {400 * 256.0f, 30 * 256.0f};
    line_Draw2D(h.frame, e, k, 0x00FFFFFF);
    EXPECT_EQ(h.changed(), unite({rowRange(30, 300, 318), rowRange(31, 300, 318)}));

    GuardedFrame out;
    const float p[3][2][2] = {{{-10 * 256.0f, -10 * 256.0f}, {-5 * 256.0f, 100 * 256.0f}},
                              {{400 * 256.0f, 10 * 256.0f}, {500 * 256.0f, 200 * 256.0f}},
                              {{10 * 256.0f, 250 * 256.0f}, {300 * 256.0f, 260 * 256.0f}}};
    for (auto &line : p)
        line_Draw2D(out.frame, line[0], line[1], 0x00FFFFFF);
    EXPECT_TRUE(out.changed().empty());
}

TEST(RasterLines, RectangleBeforeTheFirstRenderThenTheViews)
{
    // One process per test: nothing has installed clip lines in this one, so
    // lines see x 0..319 and y -1..238.
    const float a[2] = {100 * 256.0f, -50 * 256.0f}, b[2] = {100 * 256.0f, 300 * 256.0f};
    const float c[2] = {300 * 256.0f, 30 * 256.0f}, d[2] = {400 * 256.0f, 30 * 256.0f};
    PixelSet vertical, horizontal;
    for (int y = -1; y <= 238; y++)
        vertical = unite({vertical, rowRange(y, 100, 101)});
    horizontal = unite({rowRange(30, 300, 319), rowRange(31, 300, 319)});
    {
        GuardedFrame f(0, false);
        line_Draw2D(f.frame, a, b, 0x00FFFFFF);
        line_Draw2D(f.frame, c, d, 0x00FFFFFF);
        EXPECT_EQ(f.changed(), unite({vertical, horizontal}));
    }
    // Creating the view installs its clip lines -1 and 239, as a render would:
    // y 0..238, x 0..318.
    RenderView *view = rnd_CreateView();
    ASSERT_NE(view, nullptr);
    GuardedFrame f(0, false);
    line_Draw2D(f.frame, a, b, 0x00FFFFFF);
    line_Draw2D(f.frame, c, d, 0x00FFFFFF);
    vertical.erase({100, -1});
    vertical.erase({101, -1});
    horizontal.erase({319, 30});
    horizontal.erase({319, 31});
    EXPECT_EQ(f.changed(), unite({vertical, horizontal}));
    free(view);
}

// ---------------------------------------------------------------------------
// Hostile input
// ---------------------------------------------------------------------------

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
    uint32_t *exact = (uint32_t *)calloc(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
    ASSERT_NE(exact, nullptr);
    uint32_t *targets[2] = {guarded.frame, exact + FRAME_GUARD_PIXELS};
    std::mt19937 rng(99);
    for (uint32_t *target : targets) {
        rnd_SetTarget(target);
        for (int i = 0; i < 20000; i++) {
            if (i % 1000 == 0) {
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
            Material *m = &materials[rng() % 6];
            drawFace(&v[0], &v[1], &v[2], m, (uint8_t)(rng() & 31), (uint32_t)rng());
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
    free(exact);
    txt_FreeTexture(tex);
}
