// Camera space to the screen: the projection state of a render, vertex
// projection, face collection and near-plane clipping.
#include "render/project.h"

#include "core/common.h"
#include "core/simd.h" // Required for: roundNearest() (halves to even)
#include "render/raster.h" // Required for: CLIP_* bits, rnd_SetClipLines()

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

// Clip lines are held where the rasteriser holds them: rows the frame's block
// owns (the guard rows included), one above for the top line.
enum {
    CLIP_LINE_MIN = -FRAME_GUARD_ROWS - 1,                // -33
    CLIP_LINE_MAX = FRAME_HEIGHT + FRAME_GUARD_ROWS - 1,  // 271
};

// Screen edges of the vertex outcode, 24.8.
enum {
    EDGE_RIGHT = (FRAME_WIDTH - 1) * 256,     // 319.0
    EDGE_RIGHT_DISTORTED = FRAME_WIDTH * 256, // 320.0 for the distorting projection
};

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

static RenderState renderState;

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

static inline int32_t sat32(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int32_t)v;
}

// Float to int32, nearest with halves to even; values past the int32 range
// saturate and NaN gives INT32_MIN, so that outcodes still name the right side.
static inline int32_t nearestSat(float v)
{
    if (v >= -2147483648.0f && v < 2147483648.0f)
        return roundNearest(v);
    return v > 0.0f ? INT32_MAX : INT32_MIN;
}

// Float to int32 truncating toward zero, saturating like nearestSat.
static inline int32_t truncSat(float v)
{
    if (v > -2147483904.0f && v < 2147483648.0f) // the float neighbours of the int32 range
        return (int32_t)v;
    return v > 0.0f ? INT32_MAX : INT32_MIN;
}

// Outcode of a projected vertex: at most one bit of each pair.
static inline uint8_t screenOutcode(int32_t sx, int32_t sy, int32_t rightEdge, const RenderState &rs)
{
    uint8_t flags = 0;
    if (sx < 0)
        flags |= CLIP_LEFT;
    else if (sx > rightEdge)
        flags |= CLIP_RIGHT;
    if (sy < rs.clipTopFixed)
        flags |= CLIP_TOP;
    else if (sy > rs.clipBottomFixed)
        flags |= CLIP_BOTTOM;
    return flags;
}

// row . p + translation with the fixed-point row r (4 words). The products
// cannot overflow 64 bits; their sum may for hostile matrices and wraps then
// (unsigned arithmetic, no undefined behaviour).
static inline int64_t fixedRow(const int32_t *r, int32_t x, int32_t y, int32_t z)
{
    uint64_t sum = (uint64_t)((int64_t)r[0] * x) + (uint64_t)((int64_t)r[1] * y) + (uint64_t)((int64_t)r[2] * z) +
                   (uint64_t)(int64_t)r[3];
    return (int64_t)sum;
}

// a + ((b - a) * t + 127) >> 8 per byte, t an 8-bit fraction 0..256.
static uint32_t lerpColour(uint32_t a, uint32_t b, int32_t t)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int32_t ca = (int32_t)(a >> shift & 255), cb = (int32_t)(b >> shift & 255);
        out |= (uint32_t)((ca + (((cb - ca) * t + 127) >> 8)) & 255) << shift;
    }
    return out;
}

// The point where the edge p -> q meets z = nearFixed, projected onto the
// near plane. p and q lie on different sides, so their depths differ.
static void nearIntersect(Vertex *out, const Vertex *p, const Vertex *q, const RenderState &rs)
{
    float t = (float)((int64_t)rs.nearFixed - p->cz) / (float)((int64_t)q->cz - p->cz);
    out->kind = 1;
    out->cx = truncSat((float)p->cx + t * ((float)q->cx - (float)p->cx));
    out->cy = truncSat((float)p->cy + t * ((float)q->cy - (float)p->cy));
    out->cz = rs.nearFixed;
    out->colour = lerpColour(p->colour, q->colour, truncInt(t * 256.0f)); // 8-bit fraction
    out->u = truncSat((float)p->u + t * ((float)q->u - (float)p->u));
    out->v = truncSat((float)p->v + t * ((float)q->v - (float)p->v));
    out->material = p->material;
    out->sx = sat32((int64_t)truncSat((float)out->cx * rs.focalOverNear) + rs.centreXFixed);
    out->sy = sat32((int64_t)rs.centreYFixed - truncSat((float)out->cy * rs.focalOverNear));
    out->clipFlags = screenOutcode(out->sx, out->sy, EDGE_RIGHT, rs);
}

// ---------------------------------------------------------------------------
// Projection state
// ---------------------------------------------------------------------------

void rnd_SetProjection(const RenderView *view, const Object *camera)
{
    RenderState &rs = renderState;
    rs.centreX = view->width / 2;
    rs.centreY = view->height / 2;
    rs.centreXFixed = sat32((int64_t)rs.centreX * 256); // pixel -> 24.8
    rs.centreYFixed = sat32((int64_t)rs.centreY * 256);
    rs.focalLength = camera ? camera->focalLength : 128.0f;
    rs.useDistortion = camera && camera->useDistortion == 1;
    rs.distortion = camera ? camera->distortion : 0.0f;

    // A near distance below 1 (0 in a fresh view) or not a number would let
    // vertices at or behind the eye be projected; hold it within range.
    float near = view->nearZ;
    if (!(near >= NEAR_MIN))
        near = NEAR_MIN;
    if (near > NEAR_MAX)
        near = NEAR_MAX;
    rs.near = near;
    rs.nearFixed = truncInt(near * 256.0f); // 24.8
    rs.nearInt = truncInt(near);
    rs.focalOverNear = rs.focalLength / near;

    int32_t y0 = view->clipY0, y1 = view->clipY1;
    y0 = y0 < CLIP_LINE_MIN ? CLIP_LINE_MIN : y0 > CLIP_LINE_MAX ? CLIP_LINE_MAX : y0;
    y1 = y1 < CLIP_LINE_MIN ? CLIP_LINE_MIN : y1 > CLIP_LINE_MAX ? CLIP_LINE_MAX : y1;
    rs.clipY0 = y0;
    rs.clipY1 = y1;
    rs.clipTopFixed = y0 * 256; // row -> 24.8
    rs.clipBottomFixed = y1 * 256;
    rnd_SetClipLines(y0, y1);
}

const RenderState *rnd_Projection(void)
{
    return &renderState;
}

// ---------------------------------------------------------------------------
// Per object
// ---------------------------------------------------------------------------

void obj_ProjectVertices(Object *object, const Matrix *m, const RenderState &rs)
{
    Vertex *v = object->vertices;
    const int count = object->vertexCount;
    if (!v || count <= 0)
        return;
    const int32_t *row0 = &m->fixed[0], *row1 = &m->fixed[4], *row2 = &m->fixed[8];
    const int32_t nearLimit = rs.nearInt * 256; // 24.8

    if (rs.useDistortion) {
        // Depth grows with the distance from the axis: points far off it are
        // pushed back, drawn smaller and nearer the centre.
        const float bend = rs.distortion * 0.0625f;
        const float focal64 = rs.focalLength * 64.0f;
        for (int i = 0; i < count; i++, v++) {
            const int64_t X = fixedRow(row0, v->x, v->y, v->z);
            const int64_t Y = fixedRow(row1, v->x, v->y, v->z);
            const int64_t Z = fixedRow(row2, v->x, v->y, v->z);
            v->cx = sat32(X >> MATRIX_TO_CAMERA_SHIFT);
            v->cy = sat32(Y >> MATRIX_TO_CAMERA_SHIFT);
            const float fx = (float)X, fy = (float)Y;
            v->cz = truncSat(0.25f * (float)Z + (fx * fx + fy * fy) * bend);
            if (v->cz < nearLimit) {
                v->clipFlags = CLIP_NEAR;
                continue;
            }
            const float k = focal64 / (float)v->cz;
            v->sx = sat32((int64_t)truncSat(fx * k) + rs.centreXFixed);
            v->sy = sat32((int64_t)rs.centreYFixed - truncSat(fy * k));
            v->clipFlags = screenOutcode(v->sx, v->sy, EDGE_RIGHT_DISTORTED, rs);
        }
        return;
    }

    const float focal1024 = rs.focalLength * 1024.0f;
    for (int i = 0; i < count; i++, v++) {
        const int64_t X = fixedRow(row0, v->x, v->y, v->z);
        const int64_t Y = fixedRow(row1, v->x, v->y, v->z);
        const int64_t Z = fixedRow(row2, v->x, v->y, v->z);
        v->cx = sat32(X >> MATRIX_TO_CAMERA_SHIFT); // 10 -> 8 fraction bits
        v->cy = sat32(Y >> MATRIX_TO_CAMERA_SHIFT);
        v->cz = sat32(Z >> MATRIX_TO_CAMERA_SHIFT);
        if (v->cz < nearLimit) {
            v->clipFlags = CLIP_NEAR;
            continue;
        }
        // nearLimit >= 256, so Z >= 1024: one division per vertex, never by 0.
        const float k = focal1024 / (float)Z;
        v->sx = sat32((int64_t)nearestSat(k * (float)v->cx) + rs.centreXFixed);
        v->sy = sat32((int64_t)rs.centreYFixed - nearestSat(k * (float)v->cy));
        v->clipFlags = screenOutcode(v->sx, v->sy, EDGE_RIGHT, rs);
    }
}

int clip_BackFacing(const Vertex *a, const Vertex *b, const Vertex *c)
{
    // 24.8 differences reduced to 2 fraction bits (arithmetic shifts).
    const int64_t ay = ((int64_t)c->sy - a->sy) >> 6, bx = ((int64_t)c->sx - b->sx) >> 6;
    const int64_t by = ((int64_t)c->sy - b->sy) >> 6, ax = ((int64_t)c->sx - a->sx) >> 6;
    return ay * bx - by * ax > BACKFACE_LIMIT;
}

int32_t clip_DepthKey(const Vertex *a, const Vertex *b, const Vertex *c)
{
    return sat32((int64_t)a->cz + b->cz + c->cz);
}

void obj_CollectFaces(Object *object)
{
    Face **list = object->faceList;
    if (!list)
        return;
    int n = 0;
    if (object->faces) {
        const int cull = object->hasSingleSided != 0;
        for (int i = 0; i < object->faceCount; i++) {
            Face *face = &object->faces[i];
            const Vertex *a = face->a, *b = face->b, *c = face->c;
            if (!a || !b || !c)
                continue;
            face->clipAnd = a->clipFlags & b->clipFlags & c->clipFlags;
            face->clipFlags = a->clipFlags | b->clipFlags | c->clipFlags;
            if (face->clipAnd)
                continue; // wholly beyond one screen edge or behind the near plane
            if (cull) {
                if (face->clipFlags & CLIP_NEAR) {
                    list[n++] = face; // culled after near clipping, with its new corners
                    continue;
                }
                if (face->material && !face->material->doubleSided && clip_BackFacing(a, b, c))
                    continue;
            }
            face->depthKey = clip_DepthKey(a, b, c);
            list[n++] = face;
        }
    }
    list[n] = nullptr;
}

// ---------------------------------------------------------------------------
// Near-plane clipping
// ---------------------------------------------------------------------------

int clip_NearPlane(Face *face, const RenderState &rs, ClipPools &pools, Face *out[NEAR_CLIP_MAX_FACES])
{
    Vertex *corners[3] = {face->a, face->b, face->c};
    if (!corners[0] || !corners[1] || !corners[2])
        return 0;
    // One plane cuts a triangle into at most 4 corners, 2 of them new.
    if (pools.vertexUsed > pools.vertexCount - 2) {
        pools.dropped++;
        return 0;
    }
    Vertex *poly[4];
    int n = 0;
    Vertex *prev = corners[2]; // edges (c, a), (a, b), (b, c)
    int prevIn = prev->cz >= rs.nearFixed;
    for (Vertex *cur : corners) {
        const int curIn = cur->cz >= rs.nearFixed;
        if (prevIn && curIn) {
            poly[n++] = cur;
        } else if (prevIn || curIn) {
            Vertex *p = &pools.vertices[pools.vertexUsed++];
            nearIntersect(p, prev, cur, rs);
            poly[n++] = p;
            if (curIn)
                poly[n++] = cur;
        }
        prev = cur;
        prevIn = curIn;
    }

    int made = 0;
    for (int i = 0; i + 2 < n; i++) {
        Vertex *p0 = poly[0], *p1 = poly[i + 1], *p2 = poly[i + 2];
        if (p0->clipFlags & p1->clipFlags & p2->clipFlags)
            continue; // wholly beyond one screen edge
        if (pools.faceUsed >= pools.faceCount) {
            pools.dropped++;
            continue;
        }
        Face *f = &pools.faces[pools.faceUsed++];
        f->kind = 0;
        f->clipAnd = 0;
        f->clipFlags = p0->clipFlags | p1->clipFlags | p2->clipFlags;
        f->a = p0;
        f->b = p1;
        f->c = p2;
        f->material = face->material;
        f->colour = face->colour;
        f->edges = made == 0 ? face : nullptr;
        out[made++] = f;
    }
    return made;
}
