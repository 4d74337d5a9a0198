// Scenes: building and locking, local and world matrices with parents and
// look-at, fixed-point projection, culling, near-plane clipping, both sort
// paths, a reference scene against its golden hashes, and random poses that
// must never write outside the frame's block or the scene's pools.
//
// The golden hashes are FNV-1a over the 240 visible rows of each frame. After
// a deliberate change to the picture, run
//     VANTOREL_UPDATE_GOLDEN=1 ./vantorel_tests --gtest_filter=SceneGolden.*
// which prints the new table instead of failing; VANTOREL_SCENE_PNG=file.png
// also writes the frames side by side to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/pngwrite.h"
#include "host/common.h"
#include "render/light.h"
#include "render/object.h"
#include "render/project.h"
#include "render/raster.h"
#include "render/scene.h"
#include "render/view.h"

namespace {

const uint32_t kSentinel = 0xDEADBEEFu;

template <typename F> std::string captured(F f)
{
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// A frame block with sentinel words before and after it.
namespace {
struct GuardedFrame {
    static const int kMargin = 4096;
    std::vector<uint32_t> memory;
    uint32_t *frame;
    explicit GuardedFrame(uint32_t fill = 0) : memory(2 * kMargin + FRAME_BLOCK_PIXELS, kSentinel)
    {
        clear(fill);
        frame = memory.data() + kMargin + FRAME_GUARD_PIXELS;
    }
    void clear(uint32_t fill) { std::fill(memory.begin() + kMargin, memory.end() - kMargin, fill); }
    bool marginsIntact() const
    {
        for (int i = 0; i < kMargin; i++)
            if (memory[i] != kSentinel || memory[memory.size() - 1 - i] != kSentinel)
                return false;
        return true;
    }
    uint64_t hash() const // FNV-1a over the visible rows, bytes in memory order
    {
        uint64_t h = 1469598103934665603ull;
        const uint8_t *p = (const uint8_t *)frame;
        for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT * 4; i++)
            h = (h ^ p[i]) * 1099511628211ull;
        return h;
    }
};
} // namespace

// A mesh of the points and triangles; each triangle is turned so that it
// faces away from `inside` (front faces: (b - a) x (c - a) points outward).
Object *makeMesh(const std::vector<std::array<float, 3>> &points, const std::vector<std::array<int, 3>> &tris,
                 int mode, std::array<float, 3> inside = {0, 0, 0})
{
    Object *o;
    captured([&] { o = obj_Create((int)points.size(), (int)tris.size()); });
    for (size_t i = 0; i < points.size(); i++) {
        o->vertices[i].x = (int32_t)points[i][0];
        o->vertices[i].y = (int32_t)points[i][1];
        o->vertices[i].z = (int32_t)points[i][2];
    }
    for (size_t f = 0; f < tris.size(); f++) {
        Vertex *a = &o->vertices[tris[f][0]], *b = &o->vertices[tris[f][1]], *c = &o->vertices[tris[f][2]];
        double e1[3] = {(double)b->x - a->x, (double)b->y - a->y, (double)b->z - a->z};
        double e2[3] = {(double)c->x - a->x, (double)c->y - a->y, (double)c->z - a->z};
        double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        double out[3] = {a->x - inside[0], a->y - inside[1], a->z - inside[2]};
        if (n[0] * out[0] + n[1] * out[1] + n[2] * out[2] < 0)
            std::swap(b, c);
        o->faces[f].a = a;
        o->faces[f].b = b;
        o->faces[f].c = c;
    }
    obj_ComputeNormals(o);
    obj_SetProperty(o, PROP_MODE, (uintptr_t)mode);
    obj_UpdateFlags(o);
    return o;
}

Object *makeCube(float half, int mode)
{
    std::vector<std::array<float, 3>> p;
    for (int i = 0; i < 8; i++)
        p.push_back({(i & 1) ? half : -half, (i & 2) ? half : -half, (i & 4) ? half : -half});
    return makeMesh(p,
                    {{0, 1, 3}, {0, 3, 2}, {4, 7, 5}, {4, 6, 7}, {0, 4, 5}, {0, 5, 1},
                     {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}},
                    mode);
}

// A flat grid of n x n quads in the plane y = height, spanning -size..size.
Object *makeGrid(int n, float size, float height, int mode)
{
    std::vector<std::array<float, 3>> p;
    std::vector<std::array<int, 3>> t;
    for (int j = 0; j <= n; j++)
        for (int i = 0; i <= n; i++)
            p.push_back({-size + 2 * size * i / n, height, -size + 2 * size * j / n});
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            int k = j * (n + 1) + i;
            t.push_back({k, k + 1, k + n + 2});
            t.push_back({k, k + n + 2, k + n + 1});
        }
    return makeMesh(p, t, mode, {0, height - 1, 0}); // faces up
}

// A scene whose pools and objects go with it.
struct TestScene {
    Scene s;
    std::vector<Object *> owned;
    TestScene() { memset(&s, 0, sizeof s); }
    ~TestScene()
    {
        scn_Release(&s);
        for (Object *o : owned)
            obj_Free(o);
    }
    Object *add(Object *o)
    {
        owned.push_back(o);
        scn_AddObject(&s, o);
        return o;
    }
    Object *camera()
    {
        Object *c = obj_CreateCamera();
        owned.push_back(c);
        s.camera = c;
        return c;
    }
};

RenderView makeView(float nearZ = 10.0f)
{
    RenderView v;
    memset(&v, 0, sizeof v);
    v.width = FRAME_WIDTH;
    v.height = FRAME_HEIGHT;
    v.nearZ = nearZ;
    v.clipY0 = -1;
    v.clipX1 = FRAME_WIDTH;
    v.clipY1 = FRAME_HEIGHT - 1;
    return v;
}

// Records the order faces reach the filler: their flat colour.
std::vector<uint32_t> drawn;
void recordFace(Vertex *, Vertex *, Vertex *, Material *, uint32_t colour)
{
    drawn.push_back(colour);
}

Vertex screenVertex(int32_t sx, int32_t sy, int32_t cz = 2560, uint8_t flags = 0)
{
    Vertex v;
    memset(&v, 0, sizeof v);
    v.kind = 1;
    v.sx = sx;
    v.sy = sy;
    v.cz = cz;
    v.clipFlags = flags;
    return v;
}

// Matrices of the test's own: plain rotations multiplied in double.
typedef std::array<std::array<double, 3>, 3> M3;
M3 mul(const M3 &a, const M3 &b)
{
    M3 r{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 3; k++)
                r[i][j] += a[i][k] * b[k][j];
    return r;
}
M3 rotX(double d) { double a = d * M_PI / 180; return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}}; }
M3 rotY(double d) { double a = d * M_PI / 180; return {{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}}; }
M3 rotZ(double d) { double a = d * M_PI / 180; return {{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}}; }

bool allFinite(const Matrix &m)
{
    for (float f : m.m)
        if (!std::isfinite(f))
            return false;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Building and locking
// ---------------------------------------------------------------------------

TEST(SceneBuild, AddLinksInOrderMendsShortListsAndRefusesNullAndLocked)
{
    TestScene t;
    Object *a = t.add(obj_CreateDummy()), *b = t.add(obj_CreateDummy()), *c = t.add(obj_CreateDummy());
    EXPECT_EQ(t.s.objects, a);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(b->next, c);
    EXPECT_EQ(t.s.objectCount, 3);
    EXPECT_EQ(obj_GetObject(a, 2), c);
    EXPECT_EQ(obj_GetObject(a, 3), nullptr);
    // A count past the list's end: the walk meets a null link, says so, and
    // the object goes to the real end, counted.
    t.s.objectCount = 5;
    std::string out = captured([&] { t.add(obj_CreateDummy()); });
    EXPECT_NE(out.find("\"Error. obj_GetObject() returned NULL\\n\""), std::string::npos) << out;
    EXPECT_EQ(c->next, t.owned.back());
    EXPECT_EQ(t.s.objectCount, 4);

    out = captured([&] { scn_AddObject(&t.s, nullptr); });
    EXPECT_EQ(out.rfind("[scn_AddObject ", 0), 0u) << out;
    EXPECT_NE(out.find("]\"NULL Object\\n\"\n"), std::string::npos) << out;
    captured([&] { scn_Lock(&t.s); });
    Object *late = obj_CreateDummy();
    out = captured([&] { scn_AddObject(&t.s, late); });
    EXPECT_NE(out.find("\"Scene locked: Can not add objects\\n\""), std::string::npos) << out;
    EXPECT_EQ(t.s.objectCount, 4);
    obj_Free(late);
}

TEST(SceneBuild, LockSizesPoolsFromFacesAndCountedVertices)
{
    TestScene t;
    Object *grid = t.add(makeGrid(20, 100, 0, MODE_FLAT)); // 441 vertices, 800 faces
    Object *cube = t.add(makeCube(10, MODE_FLAT));          // 8 vertices, 12 faces, not counted:
    cube->hasGeometry = 0;
    ASSERT_EQ(grid->vertexCount, 441);
    captured([&] { scn_Lock(&t.s); });
    // F = 812, V = 441: faces max(203 + 256, 441), vertices max(203 + 768, 441),
    // entries (441 + 812) * 2.
    EXPECT_EQ(t.s.facePoolSize, 459);
    EXPECT_EQ(t.s.vertexPoolSize, 971);
    EXPECT_EQ(t.s.drawCapacity, 2506);
    EXPECT_EQ(t.s.locked, 1);
    EXPECT_EQ(t.s.hasVertices, 1);
    for (int i : {0, 500, 970}) {
        EXPECT_EQ(t.s.vertexPool[i].kind, 1);
        EXPECT_EQ(t.s.vertexPool[i].clipFlags, 0);
    }
    t.s.smallFacePool = 1; // locking again releases and resizes
    captured([&] { scn_Lock(&t.s); });
    EXPECT_EQ(t.s.facePoolSize, 459 / 4);
    EXPECT_EQ(t.s.vertexPoolSize, 971);
}

TEST(SceneBuild, UnlockedEmptyOrCameralessScenesDrawNothing)
{
    GuardedFrame f(0x11111111);
    RenderView view = makeView();
    uint64_t before = f.hash();
    TestScene unlocked;
    unlocked.camera()->position[2] = -200;
    unlocked.add(makeCube(40, MODE_FLAT));
    scn_Render(&view, &unlocked.s, f.frame);
    EXPECT_EQ(view.target, f.frame);
    TestScene empty;
    empty.camera();
    captured([&] { scn_Lock(&empty.s); });
    scn_Render(&view, &empty.s, f.frame);
    TestScene noCamera;
    noCamera.add(makeCube(40, MODE_FLAT));
    captured([&] { scn_Lock(&noCamera.s); });
    scn_Render(&view, &noCamera.s, f.frame);
    EXPECT_EQ(f.hash(), before);
    captured([&] { scn_Lock(&unlocked.s); });
    scn_Render(&view, &unlocked.s, f.frame);
    EXPECT_NE(f.hash(), before) << "the same scene draws once locked";
}

// ---------------------------------------------------------------------------
// Transforms
// ---------------------------------------------------------------------------

TEST(SceneTransform, LocalRotationIsRyRxRzAndZeroRotationIsIdentity)
{
    TestScene t;
    t.camera();
    const float angles[][3] = {{30, 45, 60}, {-120, 10, 200}, {90, 0, 0}};
    for (const auto &r : angles) {
        Object *o = t.add(obj_CreateDummy());
        memcpy(o->rotation, r, sizeof r);
        o->position[0] = 5;
    }
    Object *plain = t.add(obj_CreateDummy());
    captured([&] { scn_Lock(&t.s); });
    RenderView view = makeView();
    GuardedFrame f;
    scn_Render(&view, &t.s, f.frame);
    Object *o = t.s.objects;
    for (const auto &r : angles) {
        M3 ref = mul(mul(rotY(r[1]), rotX(r[0])), rotZ(r[2]));
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                EXPECT_NEAR(o->localMatrix.m[i * 4 + j], ref[i][j], 2e-6) << r[0] << "," << r[1] << "," << r[2];
        EXPECT_EQ(o->localMatrix.m[3], 5.0f);
        EXPECT_EQ(o->rotated, 1);
        o = o->next;
    }
    EXPECT_EQ(plain->rotated, 0);
    EXPECT_EQ(plain->scaled, 0);
    EXPECT_EQ(plain->localMatrix.identity, 1);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(plain->localMatrix.m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
}

TEST(SceneTransform, ParentsLookAtAndTheViewMatrix)
{
    TestScene t;
    Object *cam = t.camera();
    Object *parent = t.add(obj_CreateDummy());
    parent->position[0] = 100;
    parent->rotation[1] = 90;
    Object *child = t.add(obj_CreateDummy());
    child->parent = parent;
    child->position[2] = 10;
    child->scale[1] = 2;
    // Camera above the origin, aimed at the child: forward (110, -200, 0) / |..|.
    cam->position[1] = 200;
    cam->hasTarget = 1;
    cam->target = child;
    captured([&] { scn_Lock(&t.s); });
    RenderView view = makeView();
    GuardedFrame f;
    scn_Render(&view, &t.s, f.frame);

    // Ry(90) * (0, 0, 10) + (100, 0, 0) = (110, 0, 0).
    EXPECT_NEAR(child->localMatrix.m[3], 110.0f, 1e-4);
    EXPECT_NEAR(child->localMatrix.m[11], 0.0f, 1e-4);
    EXPECT_EQ(child->scaled, 1);
    EXPECT_EQ(child->scaleMatrix.m[5], 2.0f);
    // The camera's matrix is now the view matrix: the target lies on its +z
    // axis at the distance sqrt(110^2 + 200^2) = 228.25, and so does the
    // child's view position.
    const float d = std::sqrt(110.0f * 110.0f + 200.0f * 200.0f);
    EXPECT_NEAR(child->viewPosition[0], 0.0f, 1e-3);
    EXPECT_NEAR(child->viewPosition[1], 0.0f, 1e-3);
    EXPECT_NEAR(child->viewPosition[2], d, 2e-2);
    // Roll 0: the camera's x axis stays level (no y component).
    EXPECT_NEAR(cam->localMatrix.m[1], 0.0f, 1e-6);

    // hasTarget 2 with roll 90: up becomes +x, so a point at +x of the
    // target shows above the centre.
    cam->hasTarget = 2;
    cam->position[1] = 0;
    cam->position[2] = -100;
    cam->targetPoint[2] = 0;
    cam->rotation[2] = 90;
    parent->position[0] = 50;
    parent->rotation[1] = 0;
    scn_Render(&view, &t.s, f.frame);
    EXPECT_NEAR(parent->viewPosition[0], 0.0f, 0.1f);
    EXPECT_NEAR(parent->viewPosition[1], 50.0f, 0.1f);
    EXPECT_NEAR(parent->viewPosition[2], 100.0f, 0.1f);
}

TEST(SceneTransform, DegenerateLookAtsAndParentLoopsStayFinite)
{
    struct Case {
        const char *what;
        float eye[3], target[3], roll;
    } cases[] = {
        {"target at the eye", {10, 20, 30}, {10, 20, 30}, 0},
        {"straight above", {0, 0, 0}, {0, 500, 0}, 0},
        {"straight below, rolled", {0, 0, 0}, {0, -3, 0}, 180},
        {"far above", {0, 0, 0}, {0, 1e7f, 0}, 0},
    };
    for (const Case &c : cases) {
        TestScene t;
        Object *cam = t.camera();
        Object *target = t.add(makeCube(20, MODE_FLAT));
        memcpy(target->position, c.target, sizeof c.target);
        memcpy(cam->position, c.eye, sizeof c.eye);
        cam->rotation[2] = c.roll;
        cam->hasTarget = 1;
        cam->target = target;
        captured([&] { scn_Lock(&t.s); });
        RenderView view = makeView();
        GuardedFrame f;
        scn_Render(&view, &t.s, f.frame);
        EXPECT_TRUE(allFinite(cam->localMatrix)) << c.what;
        EXPECT_TRUE(f.marginsIntact()) << c.what;
    }
    // Parents that loop back, and an object aimed at itself, end.
    TestScene t;
    t.camera()->position[2] = -100;
    Object *a = t.add(makeCube(10, MODE_FLAT)), *b = t.add(makeCube(10, MODE_FLAT));
    a->parent = b;
    b->parent = a;
    a->hasTarget = 1;
    a->target = a;
    captured([&] { scn_Lock(&t.s); });
    RenderView view = makeView();
    GuardedFrame f;
    scn_Render(&view, &t.s, f.frame);
    EXPECT_TRUE(allFinite(a->localMatrix));
    EXPECT_TRUE(allFinite(b->localMatrix));
}

// ---------------------------------------------------------------------------
// Projection
// ---------------------------------------------------------------------------

TEST(SceneProject, ViewStateNearClampAndCreateViewDefaults)
{
    RenderView *view = rnd_CreateView();
    ASSERT_NE(view, nullptr);
    const RenderState *rs = rnd_Projection();
    EXPECT_EQ(view->nearZ, 0.0f);
    EXPECT_EQ(rs->nearFixed, 2560);
    EXPECT_EQ(rs->nearInt, 10);
    EXPECT_EQ(rs->focalOverNear, 12.8f);
    EXPECT_EQ(rs->clipTopFixed, -256);
    EXPECT_EQ(rs->clipBottomFixed, 239 * 256);
    struct Case {
        float nearZ;
        int32_t nearFixed, nearInt;
    } cases[] = {{10.5f, 2688, 10}, {30.0f, 7680, 30}, {0.0f, 256, 1}, {-5.0f, 256, 1},
                 {std::numeric_limits<float>::quiet_NaN(), 256, 1}, {1e30f, 1073741824, 4194304}};
    for (const Case &c : cases) {
        view->nearZ = c.nearZ;
        rnd_SetProjection(view, nullptr);
        EXPECT_EQ(rs->nearFixed, c.nearFixed) << c.nearZ;
        EXPECT_EQ(rs->nearInt, c.nearInt) << c.nearZ;
        EXPECT_TRUE(std::isfinite(rs->focalOverNear)) << c.nearZ;
    }
    free(view);
}

TEST(SceneProject, FixedPointValuesNearBoundaryAndRounding)
{
    RenderView view = makeView(10.0f);
    rnd_SetProjection(&view, nullptr); // focal 128
    const RenderState &rs = *rnd_Projection();
    Object *o;
    captured([&] { o = obj_Create(7, 0); });
    Matrix m;
    memset(&m, 0, sizeof m);
    m.fixed[0] = m.fixed[5] = m.fixed[10] = 1024; // identity, 10 fraction bits
    struct P {
        int32_t x, y, z;
    } pts[] = {
        {100, 50, 200}, // k = 128 * 1024 / 204800 = 0.64: 25600 * k = 16384, 12800 * k = 8192
        {0, 0, 10},     // cz = 2560 = nearInt * 256 exactly: projected to the centre
        {3, 3, 10},     // same depth, moved by a translation below
        {400, 0, 100},  // 102400 * 1.28 = 131072 -> 512 px: beyond the right edge
        {-200, 0, 100}, // left
        {0, 100, 100},  // 25600 * 1.28 = 32768 -> 120 - 128 = -8 px: above the top line
        {0, -95, 100},  // 24320 * 1.28 = 31129.6 -> 31130 -> 241.6 px: below the bottom line
    };
    for (int i = 0; i < 7; i++) {
        o->vertices[i].x = pts[i].x;
        o->vertices[i].y = pts[i].y;
        o->vertices[i].z = pts[i].z;
        o->vertices[i].sx = 777; // left alone by a vertex before the near plane
    }
    o->vertices[2].z = 10;
    obj_ProjectVertices(o, &m, rs);
    const Vertex *v = o->vertices;
    EXPECT_EQ(v[0].cx, 25600);
    EXPECT_EQ(v[0].cz, 51200);
    EXPECT_EQ(v[0].sx, 16384 + 160 * 256);
    EXPECT_EQ(v[0].sy, 120 * 256 - 8192);
    EXPECT_EQ(v[0].clipFlags, 0);
    EXPECT_EQ(v[1].clipFlags, 0);
    EXPECT_EQ(v[1].sx, 160 * 256);
    EXPECT_EQ(v[3].clipFlags, CLIP_RIGHT);
    EXPECT_EQ(v[4].clipFlags, CLIP_LEFT);
    EXPECT_EQ(v[5].clipFlags, CLIP_TOP);
    EXPECT_EQ(v[6].sy, 120 * 256 + 31130);
    EXPECT_EQ(v[6].clipFlags, CLIP_BOTTOM);

    // One unit of depth less (Z = 10236, cz = 2559): not projected.
    m.fixed[11] = -4;
    o->vertices[2].sx = 777;
    obj_ProjectVertices(o, &m, rs);
    EXPECT_EQ(v[2].cz, 2559);
    EXPECT_EQ(v[2].clipFlags, CLIP_NEAR);
    EXPECT_EQ(v[2].sx, 777);

    // Halves round to even: with x scaled by 4 / 1024, cx = x, and z = 256
    // gives k = 0.5.
    m.fixed[0] = 4;
    m.fixed[11] = 0;
    const int32_t xs[] = {5, 7, -5, -7, 6};
    const int32_t expect[] = {2, 4, -2, -4, 3};
    for (int i = 0; i < 5; i++) {
        o->vertices[i].x = xs[i];
        o->vertices[i].y = 0;
        o->vertices[i].z = 256;
    }
    obj_ProjectVertices(o, &m, rs);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(v[i].sx - 160 * 256, expect[i]) << xs[i] * 0.5;
    obj_Free(o);
}

TEST(SceneProject, DistortingProjection)
{
    Object *cam = obj_CreateCamera();
    cam->useDistortion = 1;
    cam->distortion = 1e-5f;
    RenderView view = makeView(10.0f);
    rnd_SetProjection(&view, cam);
    Object *o;
    captured([&] { o = obj_Create(3, 0); });
    Matrix m;
    memset(&m, 0, sizeof m);
    m.fixed[0] = m.fixed[5] = m.fixed[10] = 1024;
    const int32_t pts[3][3] = {{100, 0, 400}, {0, -40, 400}, {0, 0, 2}};
    for (int i = 0; i < 3; i++) {
        o->vertices[i].x = pts[i][0];
        o->vertices[i].y = pts[i][1];
        o->vertices[i].z = pts[i][2];
    }
    obj_ProjectVertices(o, &m, *rnd_Projection());
    // X = 102400, Z = 409600: cz = trunc(102400 + 102400^2 * 1e-5 / 16) = 108953,
    // k = 8192 / 108953, sx = trunc(102400 * k) + 40960 = 7699 + 40960.
    EXPECT_EQ(o->vertices[0].cx, 25600);
    EXPECT_EQ(o->vertices[0].cz, 108953);
    EXPECT_EQ(o->vertices[0].sx, 48659);
    EXPECT_EQ(o->vertices[0].sy, 30720);
    // Y = -40960: cz = trunc(102400 + 1048.576) = 103448; sy = 30720 + trunc(3243.8..).
    EXPECT_EQ(o->vertices[1].cz, 103448);
    EXPECT_EQ(o->vertices[1].sy, 30720 + 3243);
    EXPECT_EQ(o->vertices[2].clipFlags, CLIP_NEAR);
    obj_Free(o);
    free(cam);
}

// ---------------------------------------------------------------------------
// Face collection and culling
// ---------------------------------------------------------------------------

TEST(SceneCull, BackFaceThresholdOutcodesAndKeys)
{
    Object *o;
    captured([&] { o = obj_Create(3, 1); });
    Face *face = &o->faces[0];
    face->a = &o->vertices[0];
    face->b = &o->vertices[1];
    face->c = &o->vertices[2];
    obj_UpdateFlags(o); // single-sided material: hasSingleSided
    ASSERT_EQ(o->hasSingleSided, 1);
    struct Case {
        const char *what;
        int32_t bx, cy, cx; // a = (0, 0), b = (bx, 0), c = (cx, cy), 24.8
        bool kept;
    } cases[] = {
        // value = (cy >> 6) * ((cx - bx) >> 6) - (cy >> 6) * (cx >> 6)
        {"-15 is culled", 3 * 64, 5 * 64, 0, false},
        {"-16 is drawn", 4 * 64, 4 * 64, 0, true},
        {"shifts round down: (0 - 1) >> 6 = -1", 1, 16 * 64, 0, true},
        {"sub-quarter steps vanish: 63 >> 6 = 0", -63, 16 * 64, 0, false},
        {"far corners do not wrap", 1 << 30, 1 << 30, 0, true},
    };
    for (const Case &c : cases) {
        o->vertices[0] = screenVertex(0, 0, 3000);
        o->vertices[1] = screenVertex(c.bx, 0, 3100);
        o->vertices[2] = screenVertex(c.cx, c.cy, 3200);
        obj_CollectFaces(o);
        EXPECT_EQ(o->faceList[0] == face, c.kept) << c.what;
        EXPECT_EQ(o->faceList[c.kept ? 1 : 0], nullptr) << c.what;
        if (c.kept) {
            EXPECT_EQ(face->depthKey, 9300) << c.what;
        }
    }
    // Double-sided material: the -15 face is drawn.
    o->vertices[1].sx = 3 * 64;
    o->vertices[2] = screenVertex(0, 5 * 64, 3200);
    o->materials[0].doubleSided = 1;
    obj_CollectFaces(o);
    EXPECT_EQ(o->faceList[0], face);
    // Outcodes: a shared bit drops the face, mixed ones are ORed.
    o->vertices[0].clipFlags = CLIP_RIGHT | CLIP_TOP;
    o->vertices[1].clipFlags = CLIP_RIGHT;
    o->vertices[2].clipFlags = CLIP_RIGHT | CLIP_BOTTOM;
    obj_CollectFaces(o);
    EXPECT_EQ(o->faceList[0], nullptr);
    EXPECT_EQ(face->clipAnd, CLIP_RIGHT);
    o->vertices[1].clipFlags = CLIP_LEFT;
    obj_CollectFaces(o);
    EXPECT_EQ(o->faceList[0], face);
    EXPECT_EQ(face->clipFlags, CLIP_LEFT | CLIP_RIGHT | CLIP_TOP | CLIP_BOTTOM);
    // A corner behind the near plane: kept unchanged for the near clipper,
    // culling and key wait for it.
    o->materials[0].doubleSided = 0;
    o->vertices[0] = screenVertex(0, 0, 100, CLIP_NEAR);
    o->vertices[1] = screenVertex(3 * 64, 0); // -15 on the stale positions
    o->vertices[2] = screenVertex(0, 5 * 64);
    face->depthKey = -1;
    obj_CollectFaces(o);
    EXPECT_EQ(o->faceList[0], face);
    EXPECT_EQ(face->depthKey, -1);
    obj_Free(o);
}

// ---------------------------------------------------------------------------
// Near-plane clipping
// ---------------------------------------------------------------------------

TEST(SceneNearClip, CornersFanKeysAndPoolLimits)
{
    RenderView view = makeView(10.0f);
    rnd_SetProjection(&view, nullptr); // nearFixed 2560, focal / near = 12.8
    const RenderState &rs = *rnd_Projection();
    Material mat;
    memset(&mat, 0, sizeof mat);
    Vertex a = screenVertex(0, 0, 1280, CLIP_NEAR); // behind: cz = 5 units
    Vertex b = screenVertex(0, 0, 5120);
    Vertex c = screenVertex(0, 0, 5120);
    a.cx = -2560, a.cy = 0, a.colour = 0x00000000, a.u = 0;
    b.cx = 2560, b.cy = 0, b.colour = 0x00FF8040, b.u = 1000;
    c.cx = 0, c.cy = 2560, c.colour = 0x00FF8040, c.u = 1000;
    b.sx = 160 * 256 + 64 * 256, b.sy = 120 * 256;
    c.sx = 160 * 256, c.sy = 120 * 256 - 64 * 256;
    Face face;
    memset(&face, 0, sizeof face);
    face.a = &a, face.b = &b, face.c = &c;
    face.material = &mat;
    face.colour = 0x123456;
    face.clipFlags = CLIP_NEAR;

    std::vector<Vertex> vpool(8);
    std::vector<Face> fpool(4);
    ClipPools pools = {vpool.data(), 8, 0, fpool.data(), 4, 0, 0};
    Face *out[2];
    ASSERT_EQ(clip_NearPlane(&face, rs, pools, out), 2);
    // Edges (c, a) then (a, b): the first intersection lies 2/3 of the way
    // from c (5120) to a (1280): cx = -1706.7, cy = 853.3; the second 1/3 of
    // the way from a to b: cx = -853.3, cy = 0. Both at cz = nearFixed.
    const Vertex &p = vpool[0], &q = vpool[1];
    EXPECT_EQ(p.cz, 2560);
    EXPECT_EQ(p.cx, -1706);
    EXPECT_EQ(p.cy, 853);
    EXPECT_EQ(p.sx, 160 * 256 - 21836); // trunc(-1706 * 12.8)
    EXPECT_EQ(p.sy, 120 * 256 - 10918); // trunc(853 * 12.8)
    EXPECT_EQ(q.cx, -853);
    EXPECT_EQ(q.cy, 0);
    // Colour by bytes with t = 2/3 -> 170/256 of the way from c down to a,
    // shifts rounding down: 0x40 + ((0 - 0x40) * 170 + 127 >> 8) = 64 - 43 =
    // 21, 0x80 -> 43, 0xFF -> 86.
    EXPECT_EQ(p.colour, 0x00562B15u);
    EXPECT_EQ(p.u, 333);
    // Fan from the first corner: (p, q, b), (p, b, c).
    EXPECT_EQ(out[0]->a, &p);
    EXPECT_EQ(out[0]->b, &q);
    EXPECT_EQ(out[0]->c, &b);
    EXPECT_EQ(out[1]->b, &b);
    EXPECT_EQ(out[1]->c, &c);
    EXPECT_EQ(out[0]->edges, &face);
    EXPECT_EQ(out[1]->edges, nullptr);
    EXPECT_EQ(out[1]->colour, 0x123456u);
    EXPECT_EQ(out[1]->material, &mat);
    EXPECT_EQ(out[0]->clipAnd, 0);

    // Two corners behind: one face.
    b.cz = 1000;
    EXPECT_EQ(clip_NearPlane(&face, rs, pools, out), 1);
    EXPECT_EQ(out[0]->c, &c);
    // Pools: one face slot left for two faces, then no vertex room at all.
    b.cz = 5120;
    pools.faceUsed = 3;
    EXPECT_EQ(clip_NearPlane(&face, rs, pools, out), 1);
    EXPECT_EQ(pools.dropped, 1);
    pools.vertexUsed = 7;
    EXPECT_EQ(clip_NearPlane(&face, rs, pools, out), 0);
    EXPECT_EQ(pools.dropped, 2);
    EXPECT_EQ(pools.vertexUsed, 7);
    EXPECT_EQ(pools.faceUsed, 4);
}

// ---------------------------------------------------------------------------
// Sorting
// ---------------------------------------------------------------------------

TEST(SceneSort, QuicksortMatchesReferenceOnAnyInput)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 400; round++) {
        const int n = round < 40 ? round : (int)(rng() % 1500) + 1;
        const int spread = (round % 3 == 0) ? 3 : 1 << 20; // many equal keys, or few
        std::vector<DrawEntry> list(n);
        for (int i = 0; i < n; i++)
            list[i] = {(int32_t)(rng() % spread) - spread / 4, nullptr};
        std::vector<int32_t> ref;
        for (const DrawEntry &e : list)
            ref.push_back(e.key);
        std::sort(ref.begin(), ref.end(), std::greater<int32_t>());
        Scene s;
        memset(&s, 0, sizeof s);
        s.drawList = list.data();
        s.drawCount = s.drawCapacity = n;
        scn_Sort(&s);
        ASSERT_EQ(s.sortedList, nullptr);
        for (int i = 0; i < n; i++)
            ASSERT_EQ(list[i].key, ref[i]) << "n " << n << " at " << i;
    }
}

TEST(SceneSort, RadixIgnoresLowAndHighBitsAndCountsPastSixteenBits)
{
    // 70,000 entries with key 0 and a few others: one bucket overflows a
    // 16-bit counter. Low bits 0-1 and bits from 26 up do not order.
    const int n = 70000;
    std::vector<DrawEntry> list(n);
    for (int i = 0; i < n; i++)
        list[i] = {0, nullptr};
    list[10].key = 4;        // bit 2: after the zeros
    list[20].key = 3;        // bits 0-1 only: equal to 0
    list[30].key = 1 << 26;  // beyond bit 25: equal to 0
    list[40].key = 1 << 25;  // the largest
    Scene s;
    memset(&s, 0, sizeof s);
    s.drawList = list.data();
    s.drawCount = s.drawCapacity = n;
    scn_Sort(&s);
    ASSERT_NE(s.sortedList, nullptr);
    EXPECT_EQ(s.sortedList[n - 1], &list[40]);
    EXPECT_EQ(s.sortedList[n - 2], &list[10]);
    // Stable among equals: list order, so drawn (last to first) in reverse.
    EXPECT_EQ(s.sortedList[0], &list[0]);
    EXPECT_EQ(s.sortedList[20], &list[21]); // list[10] left the zeros
    EXPECT_EQ(s.sortedList[19], &list[20]);
    EXPECT_EQ(s.sortedList[29], &list[30]);
    std::vector<DrawEntry *> seen(s.sortedList, s.sortedList + n);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end()) << "a permutation of the list";
    s.drawList = nullptr; // the vector's
    scn_Release(&s);
}

TEST(SceneSort, BothPathsDrawFartherFacesFirst)
{
    for (int count : {(int)SCENE_QUICKSORT_MAX, (int)SCENE_QUICKSORT_MAX + 1}) {
        // count small triangles facing the camera, one per depth in a shuffled
        // order; colour = depth index.
        std::vector<std::array<float, 3>> p;
        std::vector<std::array<int, 3>> t;
        std::vector<int> depth(count);
        for (int i = 0; i < count; i++)
            depth[i] = i;
        std::shuffle(depth.begin(), depth.end(), std::mt19937(count));
        for (int i = 0; i < count; i++) {
            float z = 100.0f + depth[i];
            p.push_back({0, 0, z}); // at least 3 pixels across at the far end
            p.push_back({40, 0, z});
            p.push_back({0, 40, z});
            t.push_back({3 * i, 3 * i + 1, 3 * i + 2});
        }
        TestScene ts;
        ts.camera();
        Object *o = ts.add(makeMesh(p, t, MODE_FLAT, {0, 0, 1e6}));
        o->lighting = LIGHT_UNLIT;
        o->materials[0].triFill = recordFace;
        for (int i = 0; i < count; i++)
            o->faces[i].colour = (uint32_t)depth[i];
        captured([&] { scn_Lock(&ts.s); });
        RenderView view = makeView();
        GuardedFrame f;
        drawn.clear();
        scn_Render(&view, &ts.s, f.frame);
        EXPECT_EQ(ts.s.sortedList != nullptr, count > SCENE_QUICKSORT_MAX);
        ASSERT_EQ((int)drawn.size(), count);
        for (int i = 0; i < count; i++)
            ASSERT_EQ(drawn[i], (uint32_t)(count - 1 - i)) << "entry " << i << " of " << count;

        // Unsorted: build order, even after a sorted render.
        ts.s.unsorted = 1;
        drawn.clear();
        scn_Render(&view, &ts.s, f.frame);
        ASSERT_EQ((int)drawn.size(), count);
        for (int i = 0; i < count; i++)
            ASSERT_EQ(drawn[i], (uint32_t)depth[i]) << "entry " << i << " of " << count;
    }
}

// ---------------------------------------------------------------------------
// Reference scene
// ---------------------------------------------------------------------------

namespace {

const int kGoldenFrames = 6;

// A floor that always crosses the near plane, a Gouraud cube with its own
// vertex colours (unlit: lighting 0 keeps vertex colours) spinning in place,
// and a flat cube lit by the default face model, riding on the first as its
// child. The camera circles them, aimed at the first cube, rolling a little.
// Returns the hash of each frame; writes them side by side to pngPath.
std::vector<uint64_t> renderReferenceFrames(const char *pngPath)
{
    TestScene t;
    Object *cam = t.camera();
    cam->hasTarget = 1;
    Object *floor = t.add(makeGrid(8, 600, -60, MODE_FLAT));
    floor->lighting = LIGHT_UNLIT;
    for (int i = 0; i < floor->faceCount; i++)
        floor->faces[i].colour = ((i / 2 + i / 16) & 1) ? 0x00304050 : 0x00606878;
    Object *spinner = t.add(makeCube(40, MODE_GOURAUD));
    for (int i = 0; i < spinner->vertexCount; i++)
        spinner->vertices[i].colour = 0xFF000000u | ((i & 1) ? 0xF04020u : 0x2040F0u) | ((i & 2) ? 0x00C000u : 0) |
                                      ((i & 4) ? 0x101080u : 0);
    Object *rider = t.add(makeCube(22, MODE_FLAT));
    obj_SetProperty(rider, PROP_COLOUR, 0xFFC040);
    rider->parent = spinner;
    rider->position[0] = 95;
    rider->position[1] = 20;
    rider->rotation[0] = 25;
    rider->rotation[2] = 40;
    cam->target = spinner;
    captured([&] { scn_Lock(&t.s); });

    RenderView view = makeView(10.0f);
    GuardedFrame f;
    std::vector<uint64_t> hashes;
    std::vector<uint32_t> sheet(FRAME_WIDTH * 3 * FRAME_HEIGHT * 2);
    for (int frame = 0; frame < kGoldenFrames; frame++) {
        const float a = frame * 0.9f;
        cam->position[0] = std::sin(a) * 230.0f;
        cam->position[1] = 70.0f + 50.0f * std::sin(2.0f * a);
        cam->position[2] = -std::cos(a) * 230.0f;
        cam->rotation[2] = frame * 4.0f;
        cam->focalLength = 140.0f;
        spinner->rotation[1] = frame * 23.0f;
        spinner->rotation[0] = frame * 7.0f;
        f.clear(0x00101820);
        scn_Render(&view, &t.s, f.frame);
        EXPECT_TRUE(f.marginsIntact()) << frame;
        EXPECT_EQ(t.s.droppedFaces, 0) << frame;
        hashes.push_back(f.hash());
        for (int y = 0; y < FRAME_HEIGHT; y++)
            memcpy(&sheet[((frame / 3) * FRAME_HEIGHT + y) * FRAME_WIDTH * 3 + (frame % 3) * FRAME_WIDTH],
                   &f.frame[y * FRAME_WIDTH], FRAME_WIDTH * 4);
    }
    if (pngPath) {
        EXPECT_TRUE(pngWriteFile(pngPath, sheet.data(), FRAME_WIDTH * 3, FRAME_HEIGHT * 2, FRAME_WIDTH * 3, 0));
    }
    return hashes;
}

} // namespace

TEST(SceneGolden, ReferenceSceneFrames)
{
    static const uint64_t golden[kGoldenFrames] = {
        0x6fc45e95a7baa05aull, 0x47ee6b8f5331a7f4ull, 0xbd59c7c1a6b684b5ull,
        0xbad3449b0c798d8full, 0x7b63624510c286b1ull, 0xd9941cccdf571be7ull,
    };
    std::vector<uint64_t> hashes = renderReferenceFrames(getenv("VANTOREL_SCENE_PNG"));
    if (getenv("VANTOREL_UPDATE_GOLDEN")) {
        printf("static const uint64_t golden[kGoldenFrames] = {\n");
        for (uint64_t h : hashes)
            printf("    0x%016llxull,\n", (unsigned long long)h);
        printf("};\n");
        return;
    }
    for (int i = 0; i < kGoldenFrames; i++)
        EXPECT_EQ(hashes[i], golden[i]) << "frame " << i << ": see the top of this file to regenerate";
    // Each frame differs from the others: the path moves.
    std::vector<uint64_t> sorted = hashes;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
}

// ---------------------------------------------------------------------------
// Hostile poses
// ---------------------------------------------------------------------------

namespace {

float wild(std::mt19937 &rng, float usual)
{
    switch (rng() % 40) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return (rng() & 1) ? INFINITY : -INFINITY;
    case 2: return (rng() & 1) ? 3e38f : -3e38f;
    case 3: return (float)(int32_t)rng();
    default: return usual;
    }
}

} // namespace

TEST(SceneHostile, CameraInsideAndAcrossLargeMeshesWritesOnlyItsFrame)
{
    // A large floor, a box of walls around the camera's region and a cube,
    // seen from thousands of random poses inside them, many of them across the
    // near plane; every tenth pose takes NaN, infinite or huge values. The
    // second scene's pools and draw list run out of room on purpose.
    for (int small = 0; small < 2; small++) {
        TestScene t;
        Object *cam = t.camera();
        t.add(makeGrid(30, 3000, -50, MODE_GOURAUD));
        Object *wall = t.add(makeGrid(20, 800, 0, MODE_FLAT));
        wall->rotation[0] = 90;
        wall->position[2] = 400;
        wall->materials[0].doubleSided = 1;
        Object *edges = t.add(makeGrid(16, 500, 200, MODE_EDGES));
        Object *cube = t.add(makeCube(300, MODE_FLAT));
        edges->lighting = LIGHT_UNLIT;
        t.s.smallFacePool = small;
        captured([&] { scn_Lock(&t.s); });
        if (small) { // pools and list far too small for the scene, and exactly that large
            freeAligned(t.s.facePool);
            freeAligned(t.s.vertexPool);
            freeAligned(t.s.drawList);
            t.s.facePool = (Face *)allocAligned(t.s.facePoolSize = 3, sizeof(Face));
            t.s.vertexPool = (Vertex *)allocAligned(t.s.vertexPoolSize = 5, sizeof(Vertex));
            t.s.drawList = (DrawEntry *)allocAligned(t.s.drawCapacity = 50, sizeof(DrawEntry));
        }

        // The target block sits inside a heap block of exactly its size (the
        // sanitizer build checks it) and, second, inside sentinels.
        uint32_t *exact = (uint32_t *)calloc(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
        ASSERT_NE(exact, nullptr);
        GuardedFrame guarded(0x7F7F7F7F);
        std::mt19937 rng(1234 + small);
        int dropped = 0, drawnFrames = 0;
        for (int pose = 0; pose < 3000; pose++) {
            const bool hostile = pose % 10 == 9;
            auto pick = [&](float lo, float hi) {
                float v = lo + (hi - lo) * (float)(rng() % 100000) / 100000.0f;
                return hostile ? wild(rng, v) : v;
            };
            for (int k = 0; k < 3; k++) {
                cam->position[k] = pick(-350, 350);
                cam->rotation[k] = pick(-180, 180);
                cube->rotation[k] = pick(-180, 180);
                cube->scale[k] = pose % 7 ? 1.0f : pick(0.1f, 3);
            }
            cam->hasTarget = (int32_t)(rng() % 3);
            cam->target = (rng() & 1) ? cube : nullptr;
            cam->targetPoint[0] = pick(-500, 500);
            cam->focalLength = pick(20, 600);
            cam->useDistortion = rng() % 5 == 0;
            cam->distortion = pick(0, 1e-4f);
            RenderView view = makeView(pick(1, 40));
            if (hostile) {
                view.clipY0 = (int32_t)rng();
                view.clipY1 = (int32_t)rng();
            }
            uint32_t *target = (pose & 1) ? exact + FRAME_GUARD_PIXELS : guarded.frame;
            scn_Render(&view, &t.s, target);
            ASSERT_LE(t.s.drawCount, t.s.drawCapacity);
            dropped += t.s.droppedFaces;
            drawnFrames += t.s.drawCount > 0;
        }
        EXPECT_TRUE(guarded.marginsIntact());
        EXPECT_GT(drawnFrames, 1000);
        if (small) {
            EXPECT_GT(dropped, 0) << "the small pools ran out";
        }
        free(exact);
    }
}
