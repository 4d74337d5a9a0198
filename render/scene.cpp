// Scenes: building and locking them, and rendering one: local and world
// matrices, the view matrix, projection and shading per mesh, the draw list
// with near-plane clipping, the back-to-front sort and the drawing.
#include "render/scene.h"

#include <cmath>

#include "core/common.h"
#include "render/light.h"   // Required for: obj_RotateNormals(), obj_RecomputeNormals(), obj_Shade()
#include "render/project.h"
#include "render/raster.h"  // Required for: rnd_SetTarget(), rnd_DrawFace()
#include "core/mathfn.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

#define DEG_TO_RAD 0.017453292f
#define LOOKAT_EPSILON 0.00001f // keeps a look-at at its own eye, or up along the view, finite

// Pool sizes at lock time (entries).
enum {
    FACE_POOL_SPARE = 256,   // max(F / 4 + 256, V)
    VERTEX_POOL_SPARE = 768, // max(F / 4 + 768, V)
};

// Parent and target chains deeper than this are left as they stand (the
// visit recurses once per link).
enum { TRANSFORM_MAX_DEPTH = 4096 };

// Quicksort: ranges this short are left for the insertion pass.
enum { QUICKSORT_LEAF = 4, QUICKSORT_STACK = 64 };

// ---------------------------------------------------------------------------
// Matrices (row-major 4 x 4, translation in the fourth column)
// ---------------------------------------------------------------------------

static void matIdentity(Matrix *m)
{
    for (int i = 0; i < 16; i++)
        m->m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    m->identity = 1;
}

static int matIsIdentity(const float *m)
{
    for (int i = 0; i < 16; i++)
        if (m[i] != ((i % 5 == 0) ? 1.0f : 0.0f))
            return 0;
    return 1;
}

// out = a * b; out may be a or b.
static void matMultiply(Matrix *out, const Matrix *a, const Matrix *b)
{
    float r[16];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            r[i * 4 + j] = a->m[i * 4] * b->m[j] + a->m[i * 4 + 1] * b->m[4 + j] + a->m[i * 4 + 2] * b->m[8 + j] +
                           a->m[i * 4 + 3] * b->m[12 + j];
    for (int i = 0; i < 16; i++)
        out->m[i] = r[i];
    out->identity = matIsIdentity(r);
}

// The integer copy: each entry * 1024, truncated (INT32_MIN when it does not fit).
static void matFillFixed(Matrix *m)
{
    for (int i = 0; i < 16; i++)
        m->fixed[i] = truncInt((double)m->m[i] * 1024.0); // 10 fraction bits
}

// The 3 x 3 part Ry(b) * Rx(a) * Rz(c) of rotation (a, b, c) in degrees.
static void matSetRotation(Matrix *m, const float rotation[3])
{
    const float a = rotation[0] * DEG_TO_RAD, b = rotation[1] * DEG_TO_RAD, c = rotation[2] * DEG_TO_RAD;
    const float sa = mth_sinf(a), ca = mth_cosf(a);
    const float sb = mth_sinf(b), cb = mth_cosf(b);
    const float sc = mth_sinf(c), cc = mth_cosf(c);
    float *r = m->m;
    r[0] = sb * sa * sc + cb * cc;
    r[1] = sb * sa * cc - cb * sc;
    r[2] = sb * ca;
    r[4] = ca * sc;
    r[5] = ca * cc;
    r[6] = -sa;
    r[8] = sa * cb * sc - sb * cc;
    r[9] = sc * sb + sa * cb * cc;
    r[10] = ca * cb;
    m->identity = matIsIdentity(r);
}

static int hasRotation(const Object *o)
{
    return o->rotation[0] != 0.0f || o->rotation[1] != 0.0f || o->rotation[2] != 0.0f;
}

// ---------------------------------------------------------------------------
// Private helpers: transforms
// ---------------------------------------------------------------------------

// scaleMatrix and localMatrix (translation = position, rotation from the
// angles) of one object.
static void buildLocal(Object *o)
{
    matIdentity(&o->scaleMatrix);
    o->scaled = o->scale[0] != 1.0f || o->scale[1] != 1.0f || o->scale[2] != 1.0f;
    if (o->scaled) {
        o->scaleMatrix.m[0] = o->scale[0];
        o->scaleMatrix.m[5] = o->scale[1];
        o->scaleMatrix.m[10] = o->scale[2];
        o->scaleMatrix.identity = 0;
    }
    Matrix *m = &o->localMatrix;
    matIdentity(m);
    m->m[3] = o->position[0];
    m->m[7] = o->position[1];
    m->m[11] = o->position[2];
    o->rotated = hasRotation(o);
    if (o->rotated)
        matSetRotation(m, o->rotation);
    m->identity = matIsIdentity(m->m);
}

// Replaces the rotation of m by one whose z axis looks from m's translation
// toward target, rolled by roll degrees about it: columns s, u, f.
static void lookAt(Matrix *m, const float target[3], float roll)
{
    const float eye[3] = {m->m[3], m->m[7], m->m[11]};
    float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    const float fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]) + LOOKAT_EPSILON;
    f[0] /= fl;
    f[1] /= fl;
    f[2] /= fl;
    const float r = roll * 3.14f / 180.0f;
    const float u0[3] = {mth_sinf(r), mth_cosf(r), 0.0f};
    const float d = u0[0] * f[0] + u0[1] * f[1] + u0[2] * f[2];
    float u[3] = {u0[0] - d * f[0], u0[1] - d * f[1], u0[2] - d * f[2]};
    const float ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]) + LOOKAT_EPSILON;
    u[0] /= ul;
    u[1] /= ul;
    u[2] /= ul;
    const float s[3] = {u[1] * f[2] - u[2] * f[1], u[2] * f[0] - u[0] * f[2], u[0] * f[1] - u[1] * f[0]};
    for (int i = 0; i < 3; i++) {
        m->m[i * 4 + 0] = s[i];
        m->m[i * 4 + 1] = u[i];
        m->m[i * 4 + 2] = f[i];
    }
    m->identity = matIsIdentity(m->m);
}

// World matrix of o: parent first, then the look-at. The mark is set on entry,
// so a chain that loops back to an object in progress ends there.
static void visitTransform(Object *o, int depth)
{
    if (!o || o->transformDone || depth > TRANSFORM_MAX_DEPTH)
        return;
    o->transformDone = 1;
    if (o->parent) {
        visitTransform(o->parent, depth + 1);
        matMultiply(&o->localMatrix, &o->parent->localMatrix, &o->localMatrix);
    }
    if (o->hasTarget == 1 && o->target) {
        visitTransform(o->target, depth + 1);
        const Matrix &t = o->target->localMatrix;
        const float point[3] = {t.m[3], t.m[7], t.m[11]};
        lookAt(&o->localMatrix, point, o->rotation[2]);
    } else if (o->hasTarget == 2) {
        lookAt(&o->localMatrix, o->targetPoint, o->rotation[2]);
    }
}

// The camera's rotation transposed, times a translation by minus its own
// position.
static void buildView(const Object *camera, Matrix *view)
{
    const float *r = camera->localMatrix.m;
    matIdentity(view);
    float *v = view->m;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            v[i * 4 + j] = r[j * 4 + i];
    const float *p = camera->position;
    for (int i = 0; i < 3; i++)
        v[i * 4 + 3] = -(v[i * 4] * p[0] + v[i * 4 + 1] * p[1] + v[i * 4 + 2] * p[2]);
    view->identity = matIsIdentity(v);
}

// Walks a list through next, at most count objects.
template <typename F> static void forEachInList(Object *first, int32_t count, F f)
{
    Object *o = first;
    for (int32_t i = 0; i < count && o; i++, o = o->next)
        f(o);
}

static int isMesh(const Object *o)
{
    return o->type == 0 || o->type == 1 || o->type == OBJ_MESH_SCALED;
}

// Projection, face collection, normals and shading of one visible mesh.
static void renderMesh(Object *o, const Matrix &view, const RenderState &rs, const Lighting *lighting)
{
    Matrix m;
    matMultiply(&m, &view, &o->localMatrix);
    if (o->scaled)
        matMultiply(&m, &m, &o->scaleMatrix);
    matFillFixed(&m);
    o->visible = 1; // every object is alwaysVisible: no bounding-box test
    if (o->vertexCount > 0)
        obj_ProjectVertices(o, &m, rs);
    o->viewPosition[0] = m.m[3];
    o->viewPosition[1] = m.m[7];
    o->viewPosition[2] = m.m[11];

    // Normals turn with the object's own rotation only.
    Matrix own, rotation;
    matIdentity(&own);
    if (hasRotation(o))
        matSetRotation(&own, o->rotation);
    matMultiply(&rotation, &view, &own);
    matFillFixed(&rotation);
    obj_CollectFaces(o);
    if (o->type != OBJ_MESH)
        return; // types 1 and 4 keep their colours
    if (o->needsNormals)
        obj_RotateNormals(o, &rotation);
    if (o->dynamicNormals && o->faceCount > 0)
        obj_RecomputeNormals(o);
    if (o->lighting != LIGHT_UNLIT && o->shadingPass)
        obj_Shade(o, &rotation, lighting);
}

// ---------------------------------------------------------------------------
// Private helpers: sorting
// ---------------------------------------------------------------------------

static inline void swapEntries(DrawEntry *a, DrawEntry *b)
{
    DrawEntry t = *a;
    *a = *b;
    *b = t;
}

// Descending in place: quicksort (median of three, explicit stack) down to
// ranges of QUICKSORT_LEAF, then the largest of the first five to the front
// and one insertion pass over everything.
static void sortDescending(DrawEntry *e, int32_t n)
{
    if (n < 2)
        return;
    int32_t stack[QUICKSORT_STACK];
    int sp = 0;
    int32_t lo = 0, hi = n - 1;
    for (;;) {
        if (hi - lo + 1 > QUICKSORT_LEAF) {
            int32_t mid = lo + (hi - lo) / 2;
            if (e[mid].key > e[lo].key)
                swapEntries(&e[mid], &e[lo]);
            if (e[hi].key > e[lo].key)
                swapEntries(&e[hi], &e[lo]);
            if (e[hi].key > e[mid].key)
                swapEntries(&e[hi], &e[mid]);
            // e[lo] >= pivot >= e[hi]: both ends stop the scans.
            const int32_t pivot = e[mid].key;
            swapEntries(&e[mid], &e[hi - 1]);
            int32_t i = lo, j = hi - 1;
            for (;;) {
                while (e[++i].key > pivot) {
                }
                while (e[--j].key < pivot) {
                }
                if (i >= j)
                    break;
                swapEntries(&e[i], &e[j]);
            }
            swapEntries(&e[i], &e[hi - 1]);
            // The larger side waits on the stack, the smaller goes on: the
            // stack never holds more than log2(n) ranges.
            if (i - lo > hi - i) {
                stack[sp++] = lo;
                stack[sp++] = i - 1;
                lo = i + 1;
            } else {
                stack[sp++] = i + 1;
                stack[sp++] = hi;
                hi = i - 1;
            }
        } else if (sp > 0) {
            hi = stack[--sp];
            lo = stack[--sp];
        } else {
            break;
        }
    }
    // The largest entry is now among the first five: it becomes the
    // sentinel of the insertion pass.
    int32_t top = 0;
    for (int32_t i = 1; i < 5 && i < n; i++)
        if (e[i].key > e[top].key)
            top = i;
    swapEntries(&e[0], &e[top]);
    for (int32_t i = 1; i < n; i++) {
        DrawEntry t = e[i];
        int32_t j = i;
        while (j > 0 && e[j - 1].key < t.key) {
            e[j] = e[j - 1];
            j--;
        }
        e[j] = t;
    }
}

// Ascending, stable: three counting passes over key bits 2-9, 10-17, 18-25
// (bits 0-1 and 26 up are ignored) from drawList through radixA and radixB
// back into radixA.
static void sortRadix(DrawEntry *list, int32_t n, DrawEntry **a, DrawEntry **b)
{
    // 32-bit counters: a bucket may hold more than 65,535 entries.
    uint32_t count[3][256] = {};
    for (int32_t i = 0; i < n; i++) {
        const uint32_t k = (uint32_t)list[i].key;
        count[0][k >> 2 & 255]++;
        count[1][k >> 10 & 255]++;
        count[2][k >> 18 & 255]++;
    }
    for (auto &c : count) {
        uint32_t sum = 0;
        for (uint32_t &bucket : c) {
            uint32_t here = bucket;
            bucket = sum;
            sum += here;
        }
    }
    for (int32_t i = 0; i < n; i++)
        a[count[0][(uint32_t)list[i].key >> 2 & 255]++] = &list[i];
    for (int32_t i = 0; i < n; i++)
        b[count[1][(uint32_t)a[i]->key >> 10 & 255]++] = a[i];
    for (int32_t i = 0; i < n; i++)
        a[count[2][(uint32_t)b[i]->key >> 18 & 255]++] = b[i];
}

// ---------------------------------------------------------------------------
// Building a scene
// ---------------------------------------------------------------------------

Object *obj_GetObject(Object *first, int index)
{
    Object *o = first;
    for (int i = 0; i < index && o; i++)
        o = o->next;
    return o;
}

void scn_AddObject(Scene *scene, Object *object)
{
    if (!object) {
        LOG_TAGGED("NULL Object\n");
        return;
    }
    if (scene->locked) {
        LOG_TAGGED("Scene locked: Can not add objects\n");
        return;
    }
    if (!scene->objects) {
        scene->objects = object;
        scene->objectCount = 1;
        return;
    }
    Object *last = obj_GetObject(scene->objects, scene->objectCount - 1);
    int32_t length = scene->objectCount;
    if (!last || scene->objectCount < 1) {
        if (!last)
            LOG_TAGGED("Error. obj_GetObject() returned NULL\n");
        // The list is shorter than its count says: append at its real end and
        // count what is there.
        last = scene->objects;
        length = 1;
        while (last->next && length < scene->objectCount) {
            last = last->next;
            length++;
        }
    }
    last->next = object;
    scene->objectCount = length + 1;
}

void scn_Release(Scene *scene)
{
    freeAligned(scene->vertexPool);
    freeAligned(scene->facePool);
    freeAligned(scene->drawList);
    freeAligned(scene->radixA);
    freeAligned(scene->radixB);
    scene->vertexPool = nullptr;
    scene->facePool = nullptr;
    scene->drawList = nullptr;
    scene->radixA = scene->radixB = scene->sortedList = nullptr;
    scene->vertexPoolSize = scene->facePoolSize = scene->drawCapacity = scene->radixCapacity = 0;
    scene->drawCount = 0;
    scene->droppedFaces = 0;
    scene->locked = 0;
    scene->hasVertices = 0;
}

// The radix sort's two work arrays, as long as the draw list.
static void scnAllocRadix(Scene *scene)
{
    freeAligned(scene->radixA);
    freeAligned(scene->radixB);
    scene->radixA = (DrawEntry **)allocAligned((size_t)scene->drawCapacity, sizeof(DrawEntry *));
    scene->radixB = (DrawEntry **)allocAligned((size_t)scene->drawCapacity, sizeof(DrawEntry *));
    scene->radixCapacity = scene->radixA && scene->radixB ? scene->drawCapacity : 0;
    if (!scene->radixCapacity)
        LOG_TAGGED("no memory to sort %d entries", scene->drawCapacity);
}

void scn_Lock(Scene *scene)
{
    int64_t faces = 0, vertices = 0;
    forEachInList(scene->objects, scene->objectCount, [&](Object *o) {
        if (o->faceCount > 0)
            faces += o->faceCount;
        if (o->hasGeometry && o->vertexCount > 0)
            vertices += o->vertexCount;
    });
    const int32_t smallFacePool = scene->smallFacePool;
    scn_Release(scene);

    int64_t facePool = faces / 4 + FACE_POOL_SPARE;
    if (facePool < vertices)
        facePool = vertices;
    if (smallFacePool)
        facePool /= 4;
    int64_t vertexPool = faces / 4 + VERTEX_POOL_SPARE;
    if (vertexPool < vertices)
        vertexPool = vertices;
    const int64_t drawCapacity = (vertices + faces) * 2;

    // The allocator refuses anything past 2 GiB; so does the size check here.
    auto fits = [](int64_t count, size_t size) { return count > 0 && count <= INT32_MAX / (int64_t)size; };
    if (fits(vertexPool, sizeof(Vertex)))
        scene->vertexPool = (Vertex *)allocAligned((size_t)vertexPool, sizeof(Vertex));
    if (fits(facePool, sizeof(Face)))
        scene->facePool = (Face *)allocAligned((size_t)facePool, sizeof(Face));
    if (fits(drawCapacity, sizeof(DrawEntry)))
        scene->drawList = (DrawEntry *)allocAligned((size_t)drawCapacity, sizeof(DrawEntry));
    if (!scene->vertexPool || !scene->facePool || (drawCapacity > 0 && !scene->drawList))
        LOG_TAGGED("no memory for the scene's pools (%lld vertices, %lld faces, %lld entries)", (long long)vertexPool,
                   (long long)facePool, (long long)drawCapacity);
    if (scene->vertexPool) {
        scene->vertexPoolSize = (int32_t)vertexPool;
        for (int32_t i = 0; i < scene->vertexPoolSize; i++)
            scene->vertexPool[i].kind = 1; // clipFlags 0 from the allocator
    }
    if (scene->facePool)
        scene->facePoolSize = (int32_t)facePool; // kind 0 from the allocator
    if (scene->drawList)
        scene->drawCapacity = (int32_t)drawCapacity;
    // The radix sort's work arrays are taken here too, so that the memory of a
    // scene is all taken at set-up and the show's memory stays flat from its
    // first frames on, not growing when a large frame first needs them.
    if (scene->drawCapacity > SCENE_QUICKSORT_MAX)
        scnAllocRadix(scene);
    scene->locked = 1;
    scene->hasVertices = vertices > 0;
}

// ---------------------------------------------------------------------------
// Rendering
// ---------------------------------------------------------------------------

void scn_UpdateTransforms(Scene *scene)
{
    auto clear = [](Object *o) { o->transformDone = 0; };
    forEachInList(scene->objects, scene->objectCount, clear);
    forEachInList(scene->lights, scene->lightCount, clear);
    if (scene->camera)
        scene->camera->transformDone = 0;
    auto visit = [](Object *o) { visitTransform(o, 0); };
    forEachInList(scene->objects, scene->objectCount, visit);
    forEachInList(scene->lights, scene->lightCount, visit);
    visitTransform(scene->camera, 0);
}

void scn_BuildDrawList(Scene *scene)
{
    const RenderState &rs = *rnd_Projection();
    ClipPools pools = {scene->vertexPool, scene->vertexPoolSize, 0, scene->facePool, scene->facePoolSize, 0, 0};
    DrawEntry *list = scene->drawList;
    const int32_t capacity = list ? scene->drawCapacity : 0;
    int32_t n = 0, dropped = 0;
    auto append = [&](int32_t key, Face *face) {
        if (n < capacity) {
            list[n].key = key;
            list[n].primitive = face;
            n++;
        } else {
            dropped++;
        }
    };
    forEachInList(scene->objects, scene->objectCount, [&](Object *o) {
        if (o->hidden || !isMesh(o) || o->faceCount <= 0 || !o->visible || !o->faceList)
            return;
        for (Face **slot = o->faceList; *slot; slot++) {
            Face *face = *slot;
            if (!(face->clipFlags & CLIP_NEAR)) {
                append(face->depthKey, face);
                continue;
            }
            Face *made[NEAR_CLIP_MAX_FACES];
            const int k = clip_NearPlane(face, rs, pools, made);
            for (int i = 0; i < k; i++) {
                Face *f = made[i];
                if (f->material && !f->material->doubleSided && clip_BackFacing(f->a, f->b, f->c))
                    continue;
                const int32_t key = clip_DepthKey(f->a, f->b, f->c);
                face->depthKey = key;
                append(key, f);
            }
        }
    });
    scene->drawCount = n;
    scene->droppedFaces = pools.dropped + dropped;
}

void scn_Sort(Scene *scene)
{
    const int32_t n = scene->drawCount;
    scene->sortedList = nullptr;
    if (n > SCENE_QUICKSORT_MAX) {
        if (scene->radixCapacity < scene->drawCapacity) // set-up could not take them: tried again
            scnAllocRadix(scene);
        if (scene->radixCapacity >= n) {
            sortRadix(scene->drawList, n, scene->radixA, scene->radixB);
            scene->sortedList = scene->radixA;
            return;
        }
        // Without work arrays the in-place sort gives the same order.
    }
    sortDescending(scene->drawList, n);
}

void scn_Render(RenderView *view, Scene *scene, uint32_t *pixels)
{
    if (!view || !scene)
        return;
    view->target = pixels;
    Object *camera = scene->camera;
    rnd_SetProjection(view, camera);
    if (!scene->locked || scene->objectCount == 0 || !camera)
        return;
    const RenderState &rs = *rnd_Projection();

    forEachInList(scene->objects, scene->objectCount, buildLocal);
    forEachInList(scene->lights, scene->lightCount, buildLocal);
    buildLocal(camera);
    scn_UpdateTransforms(scene);
    Matrix viewMatrix;
    buildView(camera, &viewMatrix);
    camera->localMatrix = viewMatrix;

    // By type, in either list: meshes are projected, collected and shaded;
    // lights only get their camera-space position.
    auto transform = [&](Object *o) {
        if (o->hidden)
            return;
        if (isMesh(o)) {
            renderMesh(o, viewMatrix, rs, &scene->lighting);
        } else if (o->type == OBJ_LIGHT) {
            Matrix m;
            matMultiply(&m, &viewMatrix, &o->localMatrix);
            o->viewPosition[0] = m.m[3];
            o->viewPosition[1] = m.m[7];
            o->viewPosition[2] = m.m[11];
        }
    };
    forEachInList(scene->objects, scene->objectCount, transform);
    forEachInList(scene->lights, scene->lightCount, transform);

    rnd_SetTarget(pixels);
    scn_BuildDrawList(scene);
    if (scene->drawCount == 0)
        return;
    if (scene->unsorted)
        scene->sortedList = nullptr; // a result of an earlier render points at stale entries
    else
        scn_Sort(scene);
    if (scene->sortedList) {
        for (int32_t i = scene->drawCount - 1; i >= 0; i--)
            rnd_DrawFace(scene->sortedList[i]->primitive);
    } else {
        for (int32_t i = 0; i < scene->drawCount; i++)
            rnd_DrawFace(scene->drawList[i].primitive);
    }
}
