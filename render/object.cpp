// Objects: creating meshes, cameras and lights, configuring their materials,
// and the geometry utilities (scale, centre, normals, shade ramp, box).
#include "render/object.h"

#include <cmath>
#include <cstdint>
#include <cstdlib> // Required for: calloc(), malloc(), free()

#include "core/common.h"
#include "render/motion.h" // Required for: mot_Evaluate()
#include "render/raster.h" // Required for: rnd_ModeSlots()
#include "core/mathfn.h"

enum {
    INITIAL_COLOUR = 0x7F7F7F7F,
    CREATE_BOX_LIMIT = 1000000, // obj_Create's empty box: +1e6 .. -1e6
    NORMAL_LENGTH = 250,        // accumulated per corner; faces keep half of it
    LIGHT_FALLOFF_SIZE = 2000,
};

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

static void setTransformDefaults(Object *object)
{
    object->parentIndex = -1;
    object->childIndex = -1;
    for (int i = 0; i < 3; i++) {
        object->position[i] = 0.0f;
        object->rotation[i] = 0.0f;
        object->scale[i] = 1.0f;
    }
}

static void setBox(Object *object, int32_t lo, int32_t hi)
{
    for (int i = 0; i < 3; i++) {
        object->boxMin[i] = lo;
        object->boxMax[i] = hi;
    }
}

// The normal of the face, scaled to length NORMAL_LENGTH and truncated.
// (R - P) x (Q - P) is formed from 64-bit differences in doubles: exact for
// any coordinates a mesh holds, and free of the overflow the 32-bit products
// would meet on large meshes. A face without area gets the zero normal.
static void faceNormal(const Face *face, int32_t out[3])
{
    const Vertex *p = face->a, *q = face->b, *r = face->c;
    double rx = (double)((int64_t)r->x - p->x), ry = (double)((int64_t)r->y - p->y), rz = (double)((int64_t)r->z - p->z);
    double qx = (double)((int64_t)q->x - p->x), qy = (double)((int64_t)q->y - p->y), qz = (double)((int64_t)q->z - p->z);
    double n[3] = {ry * qz - rz * qy, rz * qx - rx * qz, rx * qy - ry * qx};
    double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int i = 0; i < 3; i++) {
        // Multiplying before dividing keeps an axis-aligned normal at exactly 250.
        out[i] = length > 0.0 ? truncInt(n[i] * NORMAL_LENGTH / length) : 0;
    }
}

static void storeFaceNormal(Face *face, const int32_t n[3])
{
    face->nx = (int8_t)(n[0] >> 1); // length 250 -> 125
    face->ny = (int8_t)(n[1] >> 1);
    face->nz = (int8_t)(n[2] >> 1);
}

// ---------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------

int obj_AllocGeometry(Object *object)
{
    // Arrays from an earlier call are not released: an effect may have put
    // arrays of its own in their place.
    object->vertices = nullptr;
    object->faces = nullptr;
    object->faceList = nullptr;
    object->hasGeometry = 0;

    bool ok = object->vertexCount >= 0 && object->faceCount >= 0;
    if (ok && object->vertexCount > 0) {
        object->vertices = (Vertex *)allocAligned((size_t)object->vertexCount, sizeof(Vertex));
        ok = object->vertices != nullptr;
    }
    if (ok && object->faceCount > 0) {
        object->faces = (Face *)allocAligned((size_t)object->faceCount, sizeof(Face));
        ok = object->faces != nullptr;
    }
    if (ok) {
        object->faceList = (Face **)allocAligned((size_t)object->faceCount + 1, sizeof(Face *));
        ok = object->faceList != nullptr;
    }
    if (!ok) {
        LOG_TAGGED("no memory for %d vertices and %d faces", object->vertexCount, object->faceCount);
        freeAligned(object->vertices);
        freeAligned(object->faces);
        object->vertices = nullptr;
        object->faces = nullptr;
        return 0;
    }
    obj_BuildShadeTable(object, 8, 250, 4.0);
    object->hasGeometry = 1;
    return 1;
}

Object *obj_Create(int vertexCount, int faceCount)
{
    // Every face starts on vertex 0: faces need a vertex to point at.
    if (vertexCount < 0 || faceCount < 0 || (faceCount > 0 && vertexCount == 0)) {
        LOG_TAGGED("cannot make %d faces on %d vertices", faceCount, vertexCount);
        return nullptr;
    }
    Object *object = (Object *)calloc(1, sizeof(Object));
    if (!object)
        return nullptr;
    object->type = OBJ_MESH;
    obj_SetProperty(object, PROP_MODE, MODE_GOURAUD);
    object->needsNormals = 1;
    object->shadingPass = 1;
    object->next = nullptr;
    setBox(object, CREATE_BOX_LIMIT, -CREATE_BOX_LIMIT);
    object->vertexCount = vertexCount;
    object->faceCount = faceCount;
    if (!obj_AllocGeometry(object)) {
        obj_Free(object);
        return nullptr;
    }

    Material *first = &object->materials[0];
    for (int i = 0; i < vertexCount; i++) {
        Vertex *v = &object->vertices[i];
        v->kind = 1;
        v->colour = INITIAL_COLOUR;
        v->material = first;
    }
    for (int i = 0; i < faceCount; i++) {
        Face *f = &object->faces[i];
        f->a = f->b = f->c = &object->vertices[0];
        f->material = first;
        f->colour = INITIAL_COLOUR;
        f->edges = f;
    }
    obj_ComputeNormals(object);
    setTransformDefaults(object);
    obj_BoxCorners(object);
    object->alwaysVisible = 1;
    return object;
}

Object *obj_CreateDummy(void)
{
    Object *object = (Object *)calloc(1, sizeof(Object));
    if (!object)
        return nullptr;
    object->type = OBJ_MESH;
    obj_SetProperty(object, PROP_MODE, MODE_NONE);
    setBox(object, -1, 1);
    obj_ResetTransform(object);
    if (!obj_AllocGeometry(object)) {
        obj_Free(object);
        return nullptr;
    }
    obj_BoxCorners(object);
    object->alwaysVisible = 1;
    return object;
}

Object *obj_CreateCamera(void)
{
    Object *camera = (Object *)calloc(1, sizeof(Object));
    if (!camera)
        return nullptr;
    camera->type = OBJ_CAMERA;
    setTransformDefaults(camera);
    camera->focalLength = 128.0f;
    camera->alwaysVisible = 1;
    return camera;
}

Object *obj_CreateLight(void)
{
    Object *light = (Object *)calloc(1, sizeof(Object));
    uint8_t *falloff = (uint8_t *)malloc(LIGHT_FALLOFF_SIZE);
    if (!light || !falloff) {
        free(light);
        free(falloff);
        return nullptr;
    }
    light->type = OBJ_LIGHT;
    setTransformDefaults(light);
    light->range = 2000.0f;
    light->lighting = 1;
    for (int i = 0; i < LIGHT_FALLOFF_SIZE; i++) {
        int32_t level = truncInt((1.0 - i * 0.0005) * 1.3 * 255.0);
        falloff[i] = (uint8_t)(level < 255 ? level : 255);
    }
    light->falloff = falloff;
    for (int32_t &level : light->lightLevels)
        level = 255;
    light->alwaysVisible = 1;
    return light;
}

void obj_Free(Object *object)
{
    if (!object)
        return;
    freeAligned(object->vertices);
    freeAligned(object->faces);
    freeAligned(object->faceList);
    free(object->name);
    free(object->falloff);
    free(object);
}

// ---------------------------------------------------------------------------
// Set-up
// ---------------------------------------------------------------------------

void obj_BuildShadeTable(Object *object, int low, int high, double exponent)
{
    int ceiling = high < 255 ? high : 255;
    for (int i = 0; i < OBJ_SHADE_RAMP; i++) {
        double curve = mth_pow(i * 0.003921569, exponent); // i / 255
        if (curve > 1.0)
            curve = 1.0;
        int64_t level = (int64_t)low + truncInt(curve * (high - low));
        if (level > ceiling)
            level = ceiling;
        if (level < 0)
            level = 0;
        object->shadeRamp[i] = (uint8_t)level;
    }
}

void obj_ResetTransform(Object *object)
{
    setTransformDefaults(object);
}

void obj_SetProperty(Object *object, int property, uintptr_t value)
{
    Material *m = &object->materials[0];
    switch (property) {
    case PROP_TEXTURE:
        m->texture = (Texture *)value;
        break;
    case PROP_MODE:
        m->mode = (uint8_t)value;
        rnd_ModeSlots(m->mode, &m->clipFill, &m->triFill);
        break;
    case PROP_OUTLINE:
        m->outline = (uint8_t)value;
        break;
    case PROP_DOUBLE_SIDED:
        m->doubleSided = (uint8_t)value;
        break;
    case PROP_COLOUR:
        m->red = (uint8_t)(value >> 16);
        m->green = (uint8_t)(value >> 8);
        m->blue = (uint8_t)value;
        break;
    case PROP_COLOUR2:
        m->red2 = (uint8_t)(value >> 16);
        m->green2 = (uint8_t)(value >> 8);
        m->blue2 = (uint8_t)value;
        break;
    default:
        break;
    }
}

void obj_UpdateFlags(Object *object)
{
    object->hasSingleSided = 0;
    object->vertexColours = 0;
    object->faceColours = 0;
    for (Material &m : object->materials) {
        m.owner = object;
        if (!m.doubleSided)
            object->hasSingleSided = 1;
        if (m.mode == MODE_FLAT || m.mode == MODE_EDGES) {
            object->needsNormals = 1;
            object->faceColours = 1;
        }
        if (m.mode == MODE_GOURAUD)
            object->vertexColours = 1;
    }
    // Without faces there is nothing to shade.
    if (object->faceCount == 0) {
        object->needsNormals = 0;
        object->faceColours = 0;
        object->vertexColours = 0;
    }
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

void obj_Scale(Object *object, double sx, double sy, double sz)
{
    const double factor[3] = {sx, sy, sz};
    for (int i = 0; i < object->vertexCount; i++) {
        Vertex *v = &object->vertices[i];
        v->x = truncInt(v->x * sx);
        v->y = truncInt(v->y * sy);
        v->z = truncInt(v->z * sz);
    }
    for (int i = 0; i < 3; i++) {
        int32_t lo = truncInt(object->boxMin[i] * factor[i]);
        int32_t hi = truncInt(object->boxMax[i] * factor[i]);
        // A negative factor mirrors the box: keep its minimum the minimum.
        object->boxMin[i] = factor[i] < 0.0 ? hi : lo;
        object->boxMax[i] = factor[i] < 0.0 ? lo : hi;
    }
    obj_BoxCorners(object);
}

void obj_Center(Object *object)
{
    if (object->vertexCount <= 0)
        return;
    // The box of the vertices themselves, however far they lie.
    int32_t lo[3], hi[3];
    const Vertex *first = &object->vertices[0];
    lo[0] = hi[0] = first->x;
    lo[1] = hi[1] = first->y;
    lo[2] = hi[2] = first->z;
    for (int i = 1; i < object->vertexCount; i++) {
        const Vertex *v = &object->vertices[i];
        const int32_t p[3] = {v->x, v->y, v->z};
        for (int k = 0; k < 3; k++) {
            if (p[k] < lo[k])
                lo[k] = p[k];
            if (p[k] > hi[k])
                hi[k] = p[k];
        }
    }
    int32_t centre[3];
    for (int k = 0; k < 3; k++)
        centre[k] = (int32_t)(((int64_t)lo[k] + hi[k]) / 2); // truncating, like the integer halves
    for (int i = 0; i < object->vertexCount; i++) {
        Vertex *v = &object->vertices[i];
        v->x = (int32_t)((int64_t)v->x - centre[0]);
        v->y = (int32_t)((int64_t)v->y - centre[1]);
        v->z = (int32_t)((int64_t)v->z - centre[2]);
    }
    for (int k = 0; k < 3; k++) {
        object->boxMin[k] = lo[k];
        object->boxMax[k] = hi[k];
    }
    obj_BoxCorners(object);
}

int obj_VertexIndex(const Object *object, const Vertex *vertex)
{
    // Compared as addresses: a pointer into another array has no index here.
    uintptr_t at = (uintptr_t)vertex, start = (uintptr_t)object->vertices;
    if (!object->vertices || object->vertexCount <= 0 || at < start)
        return -1;
    uintptr_t offset = at - start;
    if (offset % sizeof(Vertex) != 0 || offset / sizeof(Vertex) >= (uintptr_t)object->vertexCount)
        return -1;
    return (int)(offset / sizeof(Vertex));
}

float obj_GetRadius(const Object *object)
{
    double farthest = 0.0; // squared
    for (int i = 0; i < object->vertexCount; i++) {
        const Vertex *v = &object->vertices[i];
        double d = (double)v->x * v->x + (double)v->y * v->y + (double)v->z * v->z;
        if (d > farthest)
            farthest = d;
    }
    return (float)std::sqrt(farthest);
}

void obj_ComputeFaceNormals(Object *object)
{
    for (int i = 0; i < object->faceCount; i++) {
        int32_t n[3];
        faceNormal(&object->faces[i], n);
        storeFaceNormal(&object->faces[i], n);
    }
}

void obj_ComputeNormals(Object *object)
{
    const int count = object->vertexCount;
    for (int i = 0; i < count; i++) {
        Vertex *v = &object->vertices[i];
        v->nx = v->ny = v->nz = 0;
        v->normalCount = 0;
    }
    // Sums and counts per vertex kept wide: a vertex shared by more than 131
    // faces would overflow the 16-bit normal fields they end up in.
    int64_t *sum = count > 0 ? (int64_t *)calloc((size_t)count * 4, sizeof(int64_t)) : nullptr;
    if (count > 0 && !sum)
        LOG_TAGGED("no memory to average %d vertex normals", count);

    for (int i = 0; i < object->faceCount; i++) {
        Face *face = &object->faces[i];
        int32_t n[3];
        faceNormal(face, n);
        storeFaceNormal(face, n);
        if (!sum)
            continue;
        const Vertex *corners[3] = {face->a, face->b, face->c};
        for (const Vertex *corner : corners) {
            int index = obj_VertexIndex(object, corner);
            if (index < 0)
                continue; // a corner an effect took from elsewhere has no normal here
            int64_t *s = sum + 4 * index;
            s[0] += n[0];
            s[1] += n[1];
            s[2] += n[2];
            s[3]++;
        }
    }
    if (!sum)
        return;
    for (int i = 0; i < count; i++) {
        const int64_t *s = sum + 4 * i;
        if (s[3] == 0)
            continue;
        int64_t share = 65536 / s[3]; // the average, halved: * (65536 / count) >> 17
        Vertex *v = &object->vertices[i];
        v->nx = (int16_t)((s[0] * share) >> 17);
        v->ny = (int16_t)((s[1] * share) >> 17);
        v->nz = (int16_t)((s[2] * share) >> 17);
    }
    free(sum);
}

void obj_FlipFaces(Object *object)
{
    for (int i = 0; i < object->vertexCount; i++) {
        Vertex *v = &object->vertices[i];
        v->nx = (int16_t)-v->nx;
        v->ny = (int16_t)-v->ny;
        v->nz = (int16_t)-v->nz;
    }
    for (int i = 0; i < object->faceCount; i++) {
        Face *f = &object->faces[i];
        Vertex *a = f->a;
        f->a = f->c;
        f->c = a;
    }
}

void obj_BoxCorners(Object *object)
{
    const int32_t *lo = object->boxMin, *hi = object->boxMax;
    // Bit 0 picks max x, bit 1 max y, bit 2 max z; x runs min, max, max, min
    // around each face of the box.
    static const uint8_t pick[8] = {0, 1, 3, 2, 4, 5, 7, 6};
    for (int i = 0; i < 8; i++) {
        object->boxCorners[i][0] = (float)((pick[i] & 1) ? hi[0] : lo[0]);
        object->boxCorners[i][1] = (float)((pick[i] & 2) ? hi[1] : lo[1]);
        object->boxCorners[i][2] = (float)((pick[i] & 4) ? hi[2] : lo[2]);
    }
}

void vec_RotateAxis(float v[3], const float axis[3], float degrees)
{
    float angle = degrees * 0.0055555557f * 3.14159265f; // degrees / 180 * pi
    float c = mth_cosf(angle), s = mth_sinf(angle), t = 1.0f - c;
    float x = axis[0], y = axis[1], z = axis[2];
    float r[3][3] = {
        {t * x * x + c, t * x * y - s * z, t * x * z + s * y},
        {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
        {t * x * z - s * y, t * y * z + s * x, t * z * z + c},
    };
    float in[3] = {v[0], v[1], v[2]};
    for (int i = 0; i < 3; i++)
        v[i] = r[i][0] * in[0] + r[i][1] * in[1] + r[i][2] * in[2];
}

// ---------------------------------------------------------------------------
// Motion
// ---------------------------------------------------------------------------

void obj_ApplyMotion(Object *object, float time)
{
    Motion *motion = object->motion;
    if (!motion)
        return;
    if (motion->type == MOTION_KEYFRAMES)
        mot_Evaluate(motion, time);
    for (int i = 0; i < 3; i++) {
        object->position[i] = motion->values[i];
        object->rotation[i] = motion->values[3 + i];
        if (object->type == OBJ_MESH_SCALED)
            object->scale[i] = motion->values[6 + i];
    }
}
