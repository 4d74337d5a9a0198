// Lighting and shading: every visible mesh gets this render's face and vertex
// colours here, from camera-space normals, depth and base colours, through
// the object's shade ramp. No model reads the scene's lights; the directional
// terms follow the camera's axes.
#include "render/light.h"

#include <cfloat> // Required for: FLT_MAX
#include <cmath>
#include <cstdint>
#include <cstdlib> // Required for: abs()
#include <cstring> // Required for: memcpy()

#include "core/common.h"
#include "render/bitmap.h" // Required for: pixelAddSaturate()
#include "render/object.h"

static const int FIX_BITS = 10;           // matrix entries times 1024
static const int64_t FOG_FULL = 32767;    // light and fog sums before the final >> 7
static const double RECOMPUTED_LENGTH_FIX = 7864320.0; // 120 << 16: recomputed normals have length 120

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

// Row i of R's fixed-point part applied to an integer vector. Wide, so that a
// matrix whose entries overflowed their conversion cannot overflow the sum.
static int64_t rowDot(const Matrix *R, int row, int32_t x, int32_t y, int32_t z)
{
    const int32_t *r = &R->fixed[4 * row];
    return (int64_t)r[0] * x + (int64_t)r[1] * y + (int64_t)r[2] * z;
}

static int8_t clampNormal(int64_t v)
{
    return (int8_t)(v < -128 ? -128 : (v > 127 ? 127 : v));
}

// The material's colour scaled by s (0..255), opaque.
static uint32_t materialTimes(const Material *m, int32_t s)
{
    uint32_t red = (uint32_t)(m->red * s) >> 8;
    uint32_t green = (uint32_t)(m->green * s) >> 8;
    uint32_t blue = (uint32_t)(m->blue * s) >> 8;
    return 0xFF000000u | red << 16 | green << 8 | blue;
}

// 1 / sqrt(x): the bit-pattern guess and one Newton step, to about 0.2 %.
static float fastInvSqrt(float x)
{
    uint32_t bits;
    memcpy(&bits, &x, sizeof bits);
    bits = 0x5F3759DFu - (bits >> 1);
    float y;
    memcpy(&y, &bits, sizeof y);
    return y * (1.5f - 0.5f * x * y * y);
}

// A camera-space normal component, held to 32 bits (a matrix whose entries
// overflowed their conversion can push it further).
static int64_t rotatedComponent(const Matrix *R, int row, const Vertex *v)
{
    int64_t c = rowDot(R, row, v->nx, v->ny, v->nz) >> FIX_BITS;
    return c < INT32_MIN ? INT32_MIN : (c > INT32_MAX ? INT32_MAX : c);
}

// Lighting 10's term along one camera axis: the rotated normal component
// times the light colour scaled to -255..255; only light facing the camera
// counts. Effects may set any float, so the product is formed wide and held
// at the ceiling the sum is clamped to anyway.
static int64_t directional(int64_t component, float colour)
{
    int64_t term = component * truncInt(-255.0 * colour);
    return term < 0 ? 0 : (term > FOG_FULL ? FOG_FULL : term);
}

static uint32_t channel7(int64_t a, int64_t b)
{
    int64_t sum = a + b;
    return (uint32_t)((sum < FOG_FULL ? sum : FOG_FULL) >> 7);
}

// A face's base channel with its two directional terms, as a ramp index.
static int rampIndex(int base, int ny, int nx, int weightY, int weightX)
{
    int64_t sum = base * 128;
    sum += -weightY * ny > 0 ? -weightY * ny : 0;
    sum += -weightX * nx > 0 ? -weightX * nx : 0;
    return (int)((sum < FOG_FULL ? sum : FOG_FULL) >> 7);
}

static void shadeVertices(Object *object, const Matrix *R, const Lighting *lighting)
{
    if (!object->vertices)
        return;
    const uint8_t *ramp = object->shadeRamp;
    for (int i = 0; i < object->vertexCount; i++) {
        Vertex *v = &object->vertices[i];
        if (object->lighting == LIGHT_HEADLIGHT) {
            // How directly the normal lies along the view axis, either way;
            // a normal longer than 125 would step past the ramp's end.
            int64_t along = rowDot(R, 2, v->nx, v->ny, v->nz) >> 9;
            along &= ~(int64_t)1;
            int64_t index = along < 0 ? -along : along;
            int32_t s = ramp[index < OBJ_SHADE_RAMP ? index : OBJ_SHADE_RAMP - 1];
            const Material *m = v->material ? v->material : &object->materials[0];
            v->colour = materialTimes(m, s);
        } else if (object->lighting == LIGHT_BASE_FOG) {
            int64_t nx = rotatedComponent(R, 0, v);
            int64_t ny = rotatedComponent(R, 1, v);
            const float *a = lighting->lightA, *b = lighting->lightB;
            uint32_t red = channel7(directional(nx, a[0]), directional(ny, b[0]));
            uint32_t green = channel7(directional(nx, a[1]), directional(ny, b[1]));
            uint32_t blue = channel7(directional(nx, a[2]), directional(ny, b[2]));
            uint32_t light = (uint32_t)light_FogByte(v->cz) << 24 | red << 16 | green << 8 | blue;
            v->colour = pixelAddSaturate(v->baseColour, light);
        }
    }
}

static void shadeFaces(Object *object)
{
    const uint8_t *ramp = object->shadeRamp;
    Face **list = object->faceList;
    for (int i = 0; i < object->faceCount && list[i]; i++) {
        Face *f = list[i];
        if (object->lighting == LIGHT_BASE_FOG) {
            // Object-space normal: the light stays with the mesh as it turns.
            int r = rampIndex(f->baseRed, f->ny, f->nx, 16, 200);
            int g = rampIndex(f->baseGreen, f->ny, f->nx, 32, 128);
            int b = rampIndex(f->baseBlue, f->ny, f->nx, 64, 64);
            f->colour = (uint32_t)light_FogByte(f->a->cz) << 24 | (uint32_t)ramp[r] << 16 | (uint32_t)ramp[g] << 8 |
                        ramp[b];
        } else {
            int32_t s = (std::abs((int32_t)f->cnx) + std::abs((int32_t)f->cnz)) * 2;
            const Material *m = f->material ? f->material : &object->materials[0];
            f->colour = materialTimes(m, s < 255 ? s : 255);
        }
    }
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

int light_FogByte(int32_t cz)
{
    int64_t fog = FOG_FULL - (cz >> 3);
    fog = fog < 0 ? 0 : (fog > FOG_FULL ? FOG_FULL : fog);
    return (int)(fog >> 7);
}

void obj_RotateNormals(Object *object, const Matrix *R)
{
    Face **list = object->faceList;
    if (!list)
        return;
    for (int i = 0; i < object->faceCount && list[i]; i++) {
        Face *f = list[i];
        // A rotation keeps length 125 within a byte; anything else saturates
        // instead of wrapping round to the opposite direction.
        f->cnx = clampNormal(rowDot(R, 0, f->nx, f->ny, f->nz) >> FIX_BITS);
        f->cny = clampNormal(rowDot(R, 1, f->nx, f->ny, f->nz) >> FIX_BITS);
        f->cnz = clampNormal(rowDot(R, 2, f->nx, f->ny, f->nz) >> FIX_BITS);
    }
}

void obj_RecomputeNormals(Object *object)
{
    Face **list = object->faceList;
    if (!list)
        return;
    for (int i = 0; i < object->faceCount && list[i]; i++) {
        Face *f = list[i];
        const Vertex *a = f->a, *b = f->b, *c = f->c;
        // Edges from 64-bit differences, the cross product in doubles: exact
        // for any mesh whose edges are shorter than 2^26 units, and free of
        // the overflow 32-bit products would meet.
        double e1x = (double)((int64_t)c->x - a->x), e1y = (double)((int64_t)c->y - a->y),
               e1z = (double)((int64_t)c->z - a->z);
        double e2x = (double)((int64_t)b->x - a->x), e2y = (double)((int64_t)b->y - a->y),
               e2z = (double)((int64_t)b->z - a->z);
        const double n[3] = {e1y * e2z - e1z * e2y, e1z * e2x - e1x * e2z, e1x * e2y - e1y * e2x};
        const double lengthSq = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];

        // k = 120 / |n| in 16.16, rounded to the nearest integer. A cross
        // product longer than 15,728,640 gets k = 0, as does one without area
        // and one whose square does not fit a float.
        int64_t k = 0;
        if (lengthSq > 0.0 && lengthSq <= FLT_MAX)
            k = (int64_t)std::nearbyint(RECOMPUTED_LENGTH_FIX * (double)fastInvSqrt((float)lengthSq));
        int8_t *out[3] = {&f->nx, &f->ny, &f->nz};
        for (int j = 0; j < 3; j++) {
            // With k = 0 the product is 0 whatever n is; otherwise |n| is below
            // 2^24 and the product fits. k rounded up from a fraction can
            // lengthen the normal past a byte: saturate rather than wrap.
            int64_t component = k > 0 ? (int64_t)n[j] * k >> 16 : 0;
            *out[j] = clampNormal(component);
        }
    }
}

void obj_Shade(Object *object, const Matrix *R, const Lighting *lighting)
{
    if (object->lighting == LIGHT_UNLIT)
        return;
    if (object->vertexColours)
        shadeVertices(object, R, lighting);
    if (object->faceColours && object->faceList)
        shadeFaces(object);
}
