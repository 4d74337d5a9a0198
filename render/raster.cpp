// Faces into pixels: the target and clip state, the reciprocal tables, the
// screen clippers with their fan, and the triangle set-up of every fill.
#include "render/raster.h"

#include "core/common.h"
#include "core/simd.h" // Required for: roundNearest() (as the edge fill wants)
#include "render/raster_local.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

// Intersection vertices one face may make, and the longest polygon list.
enum { CLIP_POOL = 30, CLIP_LIST = 30 };

// Worst case of the four clip passes over a triangle. One pass over n vertices
// emits, per edge, the current vertex when both ends are inside, one new
// vertex when the edge leaves, two when it enters; the edges that leave and
// enter come in pairs, at most n / 2 of each. So a pass keeps at most 3n / 2
// vertices and makes at most 2 * (n / 2) new ones, whatever the coordinates
// (even a polygon made non-convex by rounding).
struct ClipWorst {
    int pool, list;
};
static constexpr ClipWorst clipWorstCase(int passes)
{
    ClipWorst w = {0, 3};
    for (int i = 0; i < passes; i++) {
        w.pool += 2 * (w.list / 2);
        w.list = w.list * 3 / 2;
    }
    return w;
}
static_assert(clipWorstCase(4).pool <= CLIP_POOL, "the clip pool cannot overflow");   // 20
static_assert(clipWorstCase(4).list <= CLIP_LIST, "the clip lists cannot overflow");  // 13

// Attributes a triangle interpolates, as 8.8 values.
enum { ATTR_U, ATTR_V, ATTR_R, ATTR_G, ATTR_B, ATTR_A, ATTR_COUNT };

// What the clippers interpolate besides sx and sy.
enum { LERP_COLOUR = 1, LERP_UV = 2, LERP_DEPTH = 4 };

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One clip pass: the outcode bit it serves and the bound it cuts at (24.8).
struct ClipPass {
    int bit;
    int onY;      // 0: cuts sx, 1: cuts sy
    int keepLow;  // 1: inside when the coordinate <= bound; 0: when >= bound
    int32_t bound;
};

// How the triangle set-up hands its halves to the span fillers.
enum FillKind { FILL_FLAT, FILL_TEXTURED, FILL_GOURAUD };
struct TriangleFill {
    FillKind kind;
    int firstAttr, lastAttr; // interpolated attributes, ATTR_*; none when first > last
    uint32_t colour;         // flat
    const uint32_t *texels;  // textured: 256 x 256
};

// ---------------------------------------------------------------------------
// Module state (valid during one scene render; the tables for the run)
// ---------------------------------------------------------------------------

float *recip256;
float *recip65536;

static uint32_t *rasterTarget;
// The clip lines in 24.8; the view's defaults until a render installs its own.
static int32_t clipTopFixed = -1 * 256;
static int32_t clipBottomFixed = (FRAME_HEIGHT - 1) * 256;

static EdgeStep edgeLong;  // top to bottom
static EdgeStep edgeShort; // top to middle, then middle to bottom

static Vertex clipPool[CLIP_POOL];
static int clipPoolUsed;

// Where each attribute lives in an edge stepper.
static int32_t EdgeStep::*const attrValue[ATTR_COUNT] = {
    &EdgeStep::u, &EdgeStep::v, &EdgeStep::r, &EdgeStep::g, &EdgeStep::b, &EdgeStep::a};
static int32_t EdgeStep::*const attrStep[ATTR_COUNT] = {
    &EdgeStep::du, &EdgeStep::dv, &EdgeStep::dr, &EdgeStep::dg, &EdgeStep::db, &EdgeStep::da};

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

static int buildTables(void)
{
    float *r256 = (float *)allocAligned(RECIP_ENTRIES, sizeof(float));
    float *r65536 = (float *)allocAligned(RECIP_ENTRIES, sizeof(float));
    if (!r256 || !r65536) {
        freeAligned(r256);
        freeAligned(r65536);
        LOG_TAGGED("no memory for the reciprocal tables\n");
        return 0;
    }
    for (int i = 1; i < RECIP_ENTRIES; i++) { // entry 0 stays 0 and is never read
        r256[i] = 256.0f / (float)i;
        r65536[i] = 65536.0f / (float)i;
    }
    recip256 = r256;
    recip65536 = r65536;
    return 1;
}

// Orders three vertices by sy: first/second, first/third, second/third; equal
// values keep their order.
static void sortBySy(Vertex **p0, Vertex **p1, Vertex **p2)
{
    Vertex *t;
    if ((*p0)->sy > (*p1)->sy) { t = *p0; *p0 = *p1; *p1 = t; }
    if ((*p0)->sy > (*p2)->sy) { t = *p0; *p0 = *p2; *p2 = t; }
    if ((*p1)->sy > (*p2)->sy) { t = *p1; *p1 = *p2; *p2 = t; }
}

// a + (((b - a) * t + 127) >> 8) for an 8-bit fraction t in 0..256. The
// result lies between a and b; 64 bits keep far-off coordinates exact.
static int32_t lerpFixed(int32_t a, int32_t b, int32_t t)
{
    return (int32_t)(a + ((((int64_t)b - a) * t + 127) >> 8));
}

static uint32_t lerpColour(uint32_t a, uint32_t b, int32_t t)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= (uint32_t)lerpFixed((int32_t)(a >> shift & 255), (int32_t)(b >> shift & 255), t) << shift;
    return out;
}

static int clipInside(const Vertex *p, const ClipPass &pass)
{
    int32_t c = pass.onY ? p->sy : p->sx;
    return pass.keepLow ? c <= pass.bound : c >= pass.bound;
}

// The point where edge a -> b crosses the pass's bound, from the pool. Only
// called when a and b lie on different sides, so the difference is never 0.
static Vertex *clipIntersect(const Vertex *a, const Vertex *b, const ClipPass &pass, int lerp)
{
    int32_t ca = pass.onY ? a->sy : a->sx;
    int32_t cb = pass.onY ? b->sy : b->sx;
    int64_t d = (int64_t)cb - ca;                                    // 24.8
    int32_t t = (int32_t)((((int64_t)pass.bound - ca) * 256 + (d >> 1)) / d); // 8-bit fraction

    Vertex *p = &clipPool[clipPoolUsed++];
    *p = *a; // fields this clipper does not interpolate are the start's
    if (pass.onY) {
        p->sy = pass.bound;
        p->sx = lerpFixed(a->sx, b->sx, t);
    } else {
        p->sx = pass.bound;
        p->sy = lerpFixed(a->sy, b->sy, t);
    }
    if (lerp & LERP_COLOUR)
        p->colour = lerpColour(a->colour, b->colour, t);
    if (lerp & LERP_UV) {
        p->u = lerpFixed(a->u, b->u, t);
        p->v = lerpFixed(a->v, b->v, t);
    }
    if (lerp & LERP_DEPTH)
        p->cz = lerpFixed(a->cz, b->cz, t);
    return p;
}

// One Sutherland-Hodgman pass; returns the number of vertices written to out.
static int clipPassRun(Vertex *const *in, int n, Vertex **out, const ClipPass &pass, int lerp)
{
    int count = 0;
    const Vertex *prev = in[n - 1];
    int prevIn = clipInside(prev, pass);
    for (int i = 0; i < n; i++) {
        Vertex *cur = in[i];
        int curIn = clipInside(cur, pass);
        if (prevIn && curIn) {
            out[count++] = cur;
        } else if (prevIn) {
            out[count++] = clipIntersect(prev, cur, pass, lerp);
        } else if (curIn) {
            out[count++] = clipIntersect(prev, cur, pass, lerp);
            out[count++] = cur;
        }
        prev = cur;
        prevIn = curIn;
    }
    return count;
}

// Clips a face against the screen bounds its outcode names, then fans the
// polygon into triangles for the material's filler.
static void clipAndFan(Face *face, int lerp)
{
    if (!face || !face->a || !face->b || !face->c || !face->material)
        return;
    const ClipPass passes[4] = {
        {CLIP_LEFT, 0, 0, 0},
        {CLIP_RIGHT, 0, 1, FRAME_WIDTH * 256},
        {CLIP_BOTTOM, 1, 1, clipBottomFixed},
        {CLIP_TOP, 1, 0, clipTopFixed},
    };
    Vertex *listA[CLIP_LIST], *listB[CLIP_LIST];
    Vertex **in = listA, **out = listB;
    in[0] = face->a;
    in[1] = face->b;
    in[2] = face->c;
    int n = 3;
    clipPoolUsed = 0;
    for (const ClipPass &pass : passes) {
        if (!(face->clipFlags & pass.bit))
            continue;
        n = clipPassRun(in, n, out, pass, lerp);
        Vertex **t = in;
        in = out;
        out = t;
        if (n == 0)
            return;
    }
    Material *material = face->material;
    if (n < 3 || !material->triFill)
        return;
    for (int i = 1; i + 1 < n; i++) {
        Vertex *p0 = in[0], *p1 = in[i], *p2 = in[i + 1];
        sortBySy(&p0, &p1, &p2);
        material->triFill(p0, p1, p2, material, face->colour);
    }
}

static void vertexAttrs(const Vertex *p, int32_t c[ATTR_COUNT])
{
    c[ATTR_U] = p->u;
    c[ATTR_V] = p->v;
    c[ATTR_R] = (int32_t)(p->colour >> 16 & 255) << ATTR_FRAC; // channel -> 8.8
    c[ATTR_G] = (int32_t)(p->colour >> 8 & 255) << ATTR_FRAC;
    c[ATTR_B] = (int32_t)(p->colour & 255) << ATTR_FRAC;
    c[ATTR_A] = (int32_t)(p->colour >> 24) << ATTR_FRAC;
}

// Starts the attributes of an edge from p to q (values cp, cq) whose first row
// lies pre / 256 of a row below p; r is recip256 of the edge's height.
static void edgeAttrs(EdgeStep &e, const TriangleFill &fill, const int32_t *cp, const int32_t *cq, float r,
                      int32_t pre)
{
    for (int k = fill.firstAttr; k <= fill.lastAttr; k++) {
        float slope = (float)((int64_t)cq[k] - cp[k]) * r; // 8.8 per row
        e.*attrStep[k] = truncF(slope);
        e.*attrValue[k] = wrapAdd(cp[k], truncF(slope * (float)pre / 256.0f));
    }
}

// Starts the x of an edge from xp with the slope s (24.8 per row); the first
// row lies pre / 256 of a row below the edge's start.
static void edgeX(EdgeStep &e, int32_t xp, float s, int32_t pre)
{
    e.dx = truncF(s * 256.0f);                                          // 24.8 -> 16.16 per row
    e.x = (int32_t)((int64_t)xp * 256 + truncF((float)pre * s));        // 24.8 -> 16.16
}

static void fillHalf(const TriangleFill &fill, const SpanHalf &half, const SpanGradients &grad)
{
    switch (fill.kind) {
    case FILL_FLAT: span_Flat(half, fill.colour); break;
    case FILL_TEXTURED: span_Textured(half, grad, fill.texels); break;
    case FILL_GOURAUD: span_Gouraud(half, grad); break;
    }
}

// The set-up every filler but the edge accumulation shares: long and short
// edges, the side test, per-pixel gradients, then the upper and lower halves.
static void fillTriangle(const Vertex *top, const Vertex *middle, const Vertex *bottom, const TriangleFill &fill)
{
    if (!rasterTarget || !recip256 || !top || !middle || !bottom)
        return;
    const int32_t y0 = top->sy, y1 = middle->sy, y2 = bottom->sy;
    // The fillers are handed vertices sorted by sy; anything else is not a
    // triangle they can walk.
    if (y0 > y1 || y1 > y2 || y2 == y0)
        return;
    // Table guard: heights index the reciprocal tables. Clipped faces stay
    // within the clip lines (240 rows by default); a taller triangle (an
    // unclipped face with vertices far off the screen) is not drawn.
    if ((int64_t)y2 - y0 > RECIP_MAX)
        return;
    const int32_t x0 = top->sx, x1 = middle->sx, x2 = bottom->sx;

    int32_t c0[ATTR_COUNT], c1[ATTR_COUNT], c2[ATTR_COUNT];
    vertexAttrs(top, c0);
    vertexAttrs(middle, c1);
    vertexAttrs(bottom, c2);

    const float r02 = recip256[y2 - y0];
    const float s02 = (float)((int64_t)x2 - x0) * r02; // 24.8 per row
    const int32_t pre0 = 256 - (y0 & 255);              // (y0 & ~255) + 256 - y0
    const int32_t pre1 = 256 - (y1 & 255);
    edgeX(edgeLong, x0, s02, pre0);

    // Signed width at the middle vertex's row, 16.16: below 0, the long edge
    // is the left one.
    const float width = (float)(((int64_t)x0 - x1) * 256) + s02 * (float)(y1 - y0);
    const int longLeft = width < 0.0f;

    int32_t grad[ATTR_COUNT] = {0, 0, 0, 0, 0, 0};
    if (width != 0.0f) {
        const float perPixel = 256.0f / width;
        for (int k = fill.firstAttr; k <= fill.lastAttr; k++) {
            float s = (float)((int64_t)c2[k] - c0[k]) * r02; // 8.8 per row along edge 0-2
            grad[k] = truncF(((float)(((int64_t)c0[k] - c1[k]) * 256) + s * (float)(y1 - y0)) * perPixel);
        }
    }
    SpanGradients gradients = {grad[ATTR_U], grad[ATTR_V], {grad[ATTR_R], grad[ATTR_G], grad[ATTR_B], grad[ATTR_A]}};
    if (longLeft)
        edgeAttrs(edgeLong, fill, c0, c2, r02, pre0);

    SpanHalf half;
    half.target = rasterTarget;
    half.firstRow = (y0 >> 8) + 1; // 24.8 -> row; rows below y0 only
    half.left = longLeft ? &edgeLong : &edgeShort;
    half.right = longLeft ? &edgeShort : &edgeLong;

    if (y1 != y0) {
        const float r01 = recip256[y1 - y0];
        edgeX(edgeShort, x0, (float)((int64_t)x1 - x0) * r01, pre0);
        if (!longLeft)
            edgeAttrs(edgeShort, fill, c0, c1, r01, pre0);
        half.rows = (y1 >> 8) - (y0 >> 8);
        if (half.rows) {
            fillHalf(fill, half, gradients);
            half.firstRow += half.rows;
        }
    }
    if (y2 != y1) {
        const float r12 = recip256[y2 - y1];
        edgeX(edgeShort, x1, (float)((int64_t)x2 - x1) * r12, pre1);
        if (!longLeft)
            edgeAttrs(edgeShort, fill, c1, c2, r12, pre1);
        half.rows = (y2 >> 8) - (y1 >> 8);
        if (half.rows)
            fillHalf(fill, half, gradients);
    }
}

// The texels of a material's texture, read as 256 x 256 with a stride of 256
// whatever the bitmap says; null when the bitmap holds fewer than 65,536
// pixels (reading it so would run past its end) or is not 32-bit.
static const uint32_t *materialTexels(const Material *material)
{
    if (!material || !material->texture || !material->texture->bitmap)
        return nullptr;
    const Bitmap *bm = material->texture->bitmap;
    if (!bm->pixels || bm->format != BITMAP_RGB32 || bm->width <= 0 || bm->height <= 0 ||
        (int64_t)bm->width * bm->height < 256 * 256)
        return nullptr;
    return (const uint32_t *)bm->pixels;
}

// Low 16 bits of a 17.15 position as a signed weight: the share of the
// colour, per channel (byte * w) >> 16 clamped to 0..255. Even columns give
// about c * fraction / 2; odd ones a negative weight and so nothing.
static uint32_t edgeShare(int32_t pos, uint32_t colour)
{
    int32_t w = (int16_t)(pos & 0xFFFF);
    uint32_t share = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t s = ((int32_t)(colour >> shift & 255) * w) >> 16;
        share |= (uint32_t)(s < 0 ? 0 : s > 255 ? 255 : s) << shift;
    }
    return share;
}

// Adds one edge of one row to the accumulation frame; sign 1 for a left edge,
// -1 for a right one. Plain 32-bit additions of packed words.
static void accumulateEdge(uint32_t *line, int32_t pos, uint32_t colour, int left)
{
    // Column guard: slopes rounded to nearest may carry an edge a hair past
    // the clamped vertices. Keep the position on columns 0..319 so that the
    // writes stay on this row; at column 319 (odd) the share is 0 and the pixel
    // after it, which would be the next row's first, is left alone.
    if (pos < 0)
        pos = 0;
    if (pos > (FRAME_WIDTH - 1) << ACCUM_FRAC)
        pos = (FRAME_WIDTH - 1) << ACCUM_FRAC;
    int32_t col = pos >> ACCUM_FRAC; // 17.15 -> column
    uint32_t share = edgeShare(pos, colour);
    if (left) {
        if (col + 1 < FRAME_WIDTH)
            line[col + 1] += share;
        line[col] += colour - share;
    } else {
        if (col + 1 < FRAME_WIDTH)
            line[col + 1] -= share;
        line[col] += share - colour;
    }
}

static void accumulateRows(int32_t row, int32_t rows, int32_t leftPos, int32_t leftStep, int32_t rightPos,
                           int32_t rightStep, uint32_t colour)
{
    for (int32_t i = 0; i < rows; i++, row++) {
        if (row >= BLOCK_FIRST_ROW && row <= BLOCK_LAST_ROW) { // row guard: the target block
            uint32_t *line = rasterTarget + row * FRAME_WIDTH;
            accumulateEdge(line, leftPos, colour, 1);
            accumulateEdge(line, rightPos, colour, 0);
        }
        leftPos = wrapAdd(leftPos, leftStep);
        rightPos = wrapAdd(rightPos, rightStep);
    }
}

// ---------------------------------------------------------------------------
// Target and clipping state
// ---------------------------------------------------------------------------

void rnd_SetTarget(uint32_t *pixels)
{
    if (!recip256)
        buildTables();
    rasterTarget = pixels;
}

void rnd_SetClipLines(int32_t clipY0, int32_t clipY1)
{
    // Clip-line guard: clipped faces fill rows clipY0 + 1 to clipY1, lines
    // touch rows up to clipY1; keep both inside the target block.
    if (clipY0 < BLOCK_FIRST_ROW - 1)
        clipY0 = BLOCK_FIRST_ROW - 1;
    if (clipY0 > BLOCK_LAST_ROW)
        clipY0 = BLOCK_LAST_ROW;
    if (clipY1 < BLOCK_FIRST_ROW - 1)
        clipY1 = BLOCK_FIRST_ROW - 1;
    if (clipY1 > BLOCK_LAST_ROW)
        clipY1 = BLOCK_LAST_ROW;
    clipTopFixed = clipY0 * 256;    // row -> 24.8
    clipBottomFixed = clipY1 * 256;
    line_SetInnerRect(0, (clipY0 + 1) * 256, (FRAME_WIDTH - 2) * 256, (clipY1 - 1) * 256);
}

// ---------------------------------------------------------------------------
// Faces
// ---------------------------------------------------------------------------

void rnd_DrawFace(Face *face)
{
    if (!face || !face->material || !face->a || !face->b || !face->c)
        return;
    Material *material = face->material;
    if (face->clipFlags == 0) {
        if (!material->triFill)
            return;
        Vertex *p0 = face->a, *p1 = face->b, *p2 = face->c;
        sortBySy(&p0, &p1, &p2);
        material->triFill(p0, p1, p2, material, face->colour);
    } else if (material->clipFill) {
        material->clipFill(face);
    }
}

void rnd_ModeSlots(int mode, ClipFillFn *clipFill, TriFillFn *triFill)
{
    switch (mode) {
    case MODE_TEXTURED: *clipFill = clipPolyTex; *triFill = tri_Textured; break;
    case MODE_GOURAUD: *clipFill = clipPolyFull; *triFill = tri_Gouraud; break;
    case MODE_FLAT: *clipFill = clipPolyDepth; *triFill = tri_Flat; break;
    case MODE_NONE: *clipFill = clipPolyDepth; *triFill = nullptr; break;
    case MODE_EDGES: *clipFill = clipPolyDepth; *triFill = tri_EdgeAccumulate; break;
    default: *clipFill = clipPolyFull; *triFill = tri_Flat; break; // never set by the production
    }
}

void clipPolyFull(Face *face)
{
    clipAndFan(face, LERP_COLOUR | LERP_UV);
}

void clipPolyDepth(Face *face)
{
    clipAndFan(face, LERP_DEPTH);
}

void clipPolyTex(Face *face)
{
    clipAndFan(face, LERP_UV);
}

// ---------------------------------------------------------------------------
// Triangle fillers
// ---------------------------------------------------------------------------

void tri_Flat(Vertex *top, Vertex *middle, Vertex *bottom, Material *, uint32_t colour)
{
    TriangleFill fill = {FILL_FLAT, ATTR_COUNT, ATTR_COUNT - 1, colour, nullptr};
    fillTriangle(top, middle, bottom, fill);
}

void tri_Gouraud(Vertex *top, Vertex *middle, Vertex *bottom, Material *, uint32_t)
{
    TriangleFill fill = {FILL_GOURAUD, ATTR_R, ATTR_A, 0, nullptr};
    fillTriangle(top, middle, bottom, fill);
}

void tri_Textured(Vertex *top, Vertex *middle, Vertex *bottom, Material *material, uint32_t)
{
    const uint32_t *texels = materialTexels(material);
    if (!texels)
        return;
    TriangleFill fill = {FILL_TEXTURED, ATTR_U, ATTR_V, 0, texels};
    fillTriangle(top, middle, bottom, fill);
}

void tri_EdgeAccumulate(Vertex *top, Vertex *middle, Vertex *bottom, Material *, uint32_t colour)
{
    const uint32_t c = colour & 0x00FFFFFF;
    if (!c || !rasterTarget || !recip65536 || !top || !middle || !bottom)
        return;
    const int32_t y0 = top->sy, y1 = middle->sy, y2 = bottom->sy;
    if (y0 > y1 || y1 > y2)
        return;
    // Under one row: nothing. Table guard: taller than the tables reach (only
    // unclipped faces far off the screen): nothing either.
    const int64_t height = (int64_t)y2 - y0;
    if (height < 256 || height > RECIP_MAX)
        return;
    auto clampX = [](int32_t x) { return x < 0 ? 0 : x > (FRAME_WIDTH - 1) * 256 ? (FRAME_WIDTH - 1) * 256 : x; };
    const int32_t x0 = clampX(top->sx), x1 = clampX(middle->sx), x2 = clampX(bottom->sx);

    // Slopes in 16.16 per row. A half without height has no rows and no slope.
    const int32_t s01 = y1 != y0 ? roundNearest((float)(x1 - x0) * recip65536[y1 - y0]) : 0;
    const int32_t s02 = roundNearest((float)(x2 - x0) * recip65536[y2 - y0]);
    const int32_t s12 = y2 != y1 ? roundNearest((float)(x2 - x1) * recip65536[y2 - y1]) : 0;
    const int longLeft = y1 == y2 ? x1 > x2 : s02 > s12;

    // Presteps in sixteenths of a row; positions 16.16 -> 17.15 by the final shift.
    const int32_t p0 = (255 - (y0 & 255)) >> 4;
    const int32_t p1 = (255 - (y1 & 255)) >> 4;
    const int64_t longStart = (int64_t)x0 * 256 + (((int64_t)s02 * p0) >> 4);
    const int32_t rowsUpper = (y1 >> 8) - (y0 >> 8);
    const int32_t rowsLower = (y2 >> 8) - (y1 >> 8);
    int32_t row = (y0 >> 8) + 1;

    int32_t longPos = (int32_t)(longStart >> 1);
    int32_t shortPos = (int32_t)(((int64_t)x0 * 256 + (((int64_t)s01 * p0) >> 4)) >> 1);
    if (longLeft)
        accumulateRows(row, rowsUpper, longPos, s02 >> 1, shortPos, s01 >> 1, c);
    else
        accumulateRows(row, rowsUpper, shortPos, s01 >> 1, longPos, s02 >> 1, c);
    row += rowsUpper;

    longPos = (int32_t)((longStart + (int64_t)s02 * rowsUpper) >> 1);
    shortPos = (int32_t)(((int64_t)x1 * 256 + (((int64_t)s12 * p1) >> 4)) >> 1);
    if (longLeft)
        accumulateRows(row, rowsLower, longPos, s02 >> 1, shortPos, s12 >> 1, c);
    else
        accumulateRows(row, rowsLower, shortPos, s12 >> 1, longPos, s02 >> 1, c);
}
