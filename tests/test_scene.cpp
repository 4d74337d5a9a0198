// Scenes: building and locking, matrices with parents and look-at, fixed-point
// projection, culling, near-plane clipping, both sort paths, a reference scene
// against its golden hashes, and random and degenerate poses that
// must never write outside the frame's block or the scene's pools.

#include "core/common.h"
#include "render/light.h"
#include "render/project.h"
#include "render/raster.h"
#include "render/scene.h"
#include "render/view.h"
#include "testutil.h"

namespace {

typedef std::vector<std::array<int32_t, 3>> Points;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A mesh with normals and flags made; front faces: (b - a) x (c - a) points inward.
Object *makeMesh(const Points &points, const std::vector<std::array<int, 3>> &tris, int mode)
{
    Object *o = meshOf(points, tris);
    obj_ComputeNormals(o);
    obj_SetProperty(o, PROP_MODE, (uintptr_t)mode);
    obj_UpdateFlags(o);
    return o;
}

Object *makeCube(int32_t half, int mode)
{
    Points p;
    for (int i = 0; i < 8; i++)
        p.push_back({(i & 1) ? half : -half, (i & 2) ? half : -half, (i & 4) ? half : -half});
    return makeMesh(p, {{0, 3, 1}, {0, 2, 3}, {4, 5, 7}, {4, 7, 6}, {0, 5, 4}, {0, 1, 5},
                        {2, 7, 3}, {2, 6, 7}, {0, 6, 2}, {0, 4, 6}, {1, 7, 5}, {1, 3, 7}}, mode);
}

// n x n quads facing up in the plane y = height, spanning -size..size.
Object *makeGrid(int n, float size, int32_t height, int mode)
{
    Points p;
    std::vector<std::array<int, 3>> t;
    for (int j = 0; j <= n; j++)
        for (int i = 0; i <= n; i++)
            p.push_back({(int32_t)(-size + 2 * size * i / n), height, (int32_t)(-size + 2 * size * j / n)});
    for (int k = 0; k < (n + 1) * n; k++)
        if (k % (n + 1) != n)
            t.push_back({k, k + n + 2, k + 1}), t.push_back({k, k + n + 1, k + n + 2});
    return makeMesh(p, t, mode);
}

// A scene whose pools and objects go with it.
struct TestScene {
    Scene s{};
    std::vector<Object *> owned;
    ~TestScene()
    {
        scn_Release(&s);
        for (Object *o : owned)
            obj_Free(o);
    }
    Object *add(Object *o) { return owned.push_back(o), scn_AddObject(&s, o), o; }
    Object *camera() { return owned.push_back(s.camera = obj_CreateCamera()), s.camera; }
    void lock() { captured([&] { scn_Lock(&s); }); }
};

RenderView makeView(float nearZ = 10.0f)
{
    RenderView v{};
    v.width = v.clipX1 = FRAME_WIDTH, v.height = FRAME_HEIGHT, v.nearZ = nearZ;
    v.clipY0 = -1, v.clipY1 = FRAME_HEIGHT - 1;
    return v;
}

// Records the order faces reach the filler: their flat colour.
std::vector<uint32_t> drawn;
void recordFace(Vertex *, Vertex *, Vertex *, Material *, uint32_t colour) { drawn.push_back(colour); }

Vertex screenVertex(int32_t sx, int32_t sy, int32_t cz = 2560, uint8_t flags = 0)
{
    Vertex v{};
    v.kind = 1, v.sx = sx, v.sy = sy, v.cz = cz, v.clipFlags = flags;
    return v;
}

bool allFinite(const Matrix &m) { return std::all_of(m.m, m.m + 16, [](float f) { return std::isfinite(f); }); }

} // namespace

TEST(SceneBuild, AddLinksInOrderMendsShortListsAndRefusesNullAndLocked)
{
    TestScene t;
    Object *a = t.add(obj_CreateDummy()), *b = t.add(obj_CreateDummy()), *c = t.add(obj_CreateDummy());
    EXPECT_EQ(std::make_tuple(t.s.objects, a->next, b->next), std::make_tuple(a, b, c)) << "linked in order";
    EXPECT_EQ(t.s.objectCount, 3);
    // A count past the list's end: the walk meets a null link, says so, and
    // the object goes to the real end, counted.
    t.s.objectCount = 5;
    std::string out = captured([&] { t.add(obj_CreateDummy()); });
    EXPECT_NE(out.find("\"Error. obj_GetObject() returned NULL\\n\""), std::string::npos) << out;
    EXPECT_EQ(std::make_tuple(c->next, t.s.objectCount), std::make_tuple(t.owned.back(), 4));
    out = captured([&] { scn_AddObject(&t.s, nullptr); });
    EXPECT_EQ(out.rfind("[scn_AddObject ", 0), 0u) << out;
    EXPECT_NE(out.find("]\"NULL Object\\n\"\n"), std::string::npos) << out;
    t.lock();
    ObjectPtr late(obj_CreateDummy());
    out = captured([&] { scn_AddObject(&t.s, late.get()); });
    EXPECT_NE(out.find("\"Scene locked: Can not add objects\\n\""), std::string::npos) << out;
    EXPECT_EQ(t.s.objectCount, 4);
}

TEST(SceneBuild, LockSizesPoolsAndOnlyCompleteLockedScenesDraw)
{
    TestScene t;
    t.add(makeGrid(20, 100, 0, MODE_FLAT));          // 441 vertices, 800 faces
    t.add(makeCube(10, MODE_FLAT))->hasGeometry = 0; // 8 vertices, 12 faces, not counted
    t.lock();
    // F = 812, V = 441: faces max(203 + 256, 441), vertices max(203 + 768, 441), entries (441 + 812) * 2.
    EXPECT_EQ(std::make_tuple(t.s.facePoolSize, t.s.vertexPoolSize, t.s.drawCapacity), std::make_tuple(459, 971, 2506));
    t.s.smallFacePool = 1; // locking again releases and resizes
    t.lock();
    EXPECT_EQ(t.s.facePoolSize, 459 / 4);

    GuardedFrame f(0x11111111);
    const uint64_t before = frameHash(f.frame);
    RenderView view = makeView();
    TestScene unlocked, empty, noCamera;
    unlocked.camera()->position[2] = -200;
    unlocked.add(makeCube(40, MODE_FLAT)), empty.camera(), noCamera.add(makeCube(40, MODE_FLAT));
    empty.lock(), noCamera.lock();
    for (TestScene *s : {&unlocked, &empty, &noCamera})
        scn_Render(&view, &s->s, f.frame);
    EXPECT_EQ(frameHash(f.frame), before);
    unlocked.lock();
    scn_Render(&view, &unlocked.s, f.frame);
    EXPECT_NE(frameHash(f.frame), before) << "the same scene draws once locked";
}

// The projection's worked values: the reference scene's golden frames.
TEST(SceneProject, NearClampAndTheNearPlaneBoundary)
{
    RenderView *created = rnd_CreateView();
    const RenderState &rs = *rnd_Projection();
    const float nears[][3] = {{10.5f, 2688, 10}, {0, 256, 1}, {-5, 256, 1}, {kNaN, 256, 1},
                              {1e30f, 1073741824, 4194304}}; // nearZ, nearFixed, nearInt
    for (const auto &c : nears) {
        created->nearZ = c[0];
        rnd_SetProjection(created, nullptr);
        EXPECT_EQ(std::make_tuple(rs.nearFixed, rs.nearInt), std::make_tuple(c[1], c[2])) << "nearZ " << c[0];
        EXPECT_TRUE(std::isfinite(rs.focalOverNear)) << "nearZ " << c[0];
    }
    free(created);

    // cz = 2560 = nearInt * 256 exactly is projected, to the centre; one unit
    // of depth less is flagged and left alone.
    RenderView view = makeView(10.0f);
    rnd_SetProjection(&view, nullptr);
    ObjectPtr o(meshOf({{0, 0, 10}}, {}));
    Matrix m{};
    m.fixed[0] = m.fixed[5] = m.fixed[10] = 1024; // identity, 10 fraction bits
    obj_ProjectVertices(o.get(), &m, rs);
    const Vertex *v = o->vertices;
    EXPECT_EQ(std::make_tuple(v[0].clipFlags, v[0].sx), std::make_tuple(0, 160 * 256));
    m.fixed[11] = -4, o->vertices[0].sx = 777;
    obj_ProjectVertices(o.get(), &m, rs);
    EXPECT_EQ(std::make_tuple(v[0].cz, v[0].clipFlags, v[0].sx), std::make_tuple(2559, CLIP_NEAR, 777));
}

TEST(SceneCull, BackFaceThresholdOutcodesAndKeys)
{
    ObjectPtr o(meshOf({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2}}));
    Face *face = &o->faces[0];
    Vertex *v = o->vertices;
    obj_UpdateFlags(o.get()); // single-sided material: hasSingleSided
    ASSERT_EQ(o->hasSingleSided, 1);
    const struct {
        const char *what;
        int32_t bx, cy; // a = (0, 0), b = (bx, 0), c = (0, cy), 24.8
        bool kept;
    } cases[] = {
        // value = (cy >> 6) * ((0 - bx) >> 6) - (cy >> 6) * (0 >> 6)
        {"-15 is culled", 3 * 64, 5 * 64, false},
        {"-16 is drawn", 4 * 64, 4 * 64, true},
        {"far corners do not wrap", 1 << 30, 1 << 30, true},
    };
    for (const auto &c : cases) {
        v[0] = screenVertex(0, 0, 3000), v[1] = screenVertex(c.bx, 0, 3100), v[2] = screenVertex(0, c.cy, 3200);
        face->depthKey = -1, obj_CollectFaces(o.get());
        SCOPED_TRACE(c.what);
        EXPECT_EQ(o->faceList[0], c.kept ? face : nullptr);
        EXPECT_EQ(o->faceList[c.kept], nullptr) << "the list ends";
        EXPECT_EQ(face->depthKey, c.kept ? 9300 : -1) << "keys for kept faces only";
    }
    // Double-sided material: the -15 face is drawn.
    v[1].sx = 3 * 64, v[2].sy = 5 * 64, o->materials[0].doubleSided = 1;
    obj_CollectFaces(o.get());
    EXPECT_EQ(o->faceList[0], face);
    // Outcodes: a shared bit drops the face, mixed ones are ORed.
    v[0].clipFlags = CLIP_RIGHT | CLIP_TOP, v[2].clipFlags = CLIP_RIGHT | CLIP_BOTTOM;
    v[1].clipFlags = CLIP_RIGHT, obj_CollectFaces(o.get());
    EXPECT_EQ(o->faceList[0], nullptr);
    EXPECT_EQ(face->clipAnd, CLIP_RIGHT);
    v[1].clipFlags = CLIP_LEFT, obj_CollectFaces(o.get());
    EXPECT_EQ(o->faceList[0], face);
    EXPECT_EQ(face->clipFlags, CLIP_LEFT | CLIP_RIGHT | CLIP_TOP | CLIP_BOTTOM);
    // A corner behind the near plane: kept unchanged for the near clipper,
    // culling and key wait for it (the stale positions would give -15).
    o->materials[0].doubleSided = 0, face->depthKey = -1;
    v[0] = screenVertex(0, 0, 100, CLIP_NEAR), v[1] = screenVertex(3 * 64, 0), v[2] = screenVertex(0, 5 * 64);
    obj_CollectFaces(o.get());
    EXPECT_EQ(std::make_tuple(o->faceList[0], face->depthKey), std::make_tuple(face, -1));
}

TEST(SceneSort, QuicksortAndRadixOrderByKey)
{
    // Quicksort on many equal keys; the test below draws both paths in depth order.
    std::vector<DrawEntry> few(SCENE_QUICKSORT_MAX);
    for (size_t i = 0; i < few.size(); i++)
        few[i].key = (int32_t)(i * 7919 % 3) - 1;
    Scene q{};
    q.drawList = few.data(), q.drawCount = q.drawCapacity = (int32_t)few.size();
    scn_Sort(&q);
    EXPECT_EQ(q.sortedList, nullptr);
    EXPECT_TRUE(std::is_sorted(few.begin(), few.end(), [](auto &a, auto &b) { return a.key > b.key; }));
    // Radix: 70,000 zero keys overflow a 16-bit bucket counter; bits 0-1 and
    // from 26 up do not order; equal keys keep list order.
    std::vector<DrawEntry> list(70000, DrawEntry{0, nullptr});
    list[10].key = 4, list[20].key = 3, list[30].key = 1 << 26, list[40].key = 1 << 25;
    Scene s{};
    s.drawList = list.data(), s.drawCount = s.drawCapacity = 70000;
    scn_Sort(&s);
    ASSERT_NE(s.sortedList, nullptr);
    auto entry = [&](int at) { return s.sortedList[at] - list.data(); }; // the list entry sorted to a place
    EXPECT_EQ((std::vector<long>{entry(69999), entry(69998), entry(0), entry(19), entry(20), entry(29)}),
              (std::vector<long>{40, 10, 0, 20, 21, 30})) << "the entries at places 69999, 69998, 0, 19, 20 and 29";
    s.drawList = nullptr; // the vector's
    scn_Release(&s);
}

TEST(SceneSort, BothPathsDrawFartherFacesFirstAndUnsortedInBuildOrder)
{
    for (int count : {(int)SCENE_QUICKSORT_MAX, (int)SCENE_QUICKSORT_MAX + 1}) {
        // Small triangles facing the camera, one per depth in shuffled order; colour = depth.
        Points p;
        std::vector<std::array<int, 3>> t;
        std::vector<int> depth(count);
        std::iota(depth.begin(), depth.end(), 0);
        std::shuffle(depth.begin(), depth.end(), std::mt19937(count));
        for (int i = 0; i < count; i++) {
            p.insert(p.end(), {{0, 0, 100 + depth[i]}, {0, 40, 100 + depth[i]}, {40, 0, 100 + depth[i]}});
            t.push_back({3 * i, 3 * i + 1, 3 * i + 2});
        }
        TestScene ts;
        ts.camera();
        Object *o = ts.add(makeMesh(p, t, MODE_FLAT));
        o->lighting = LIGHT_UNLIT;
        o->materials[0].triFill = recordFace;
        for (int i = 0; i < count; i++)
            o->faces[i].colour = (uint32_t)depth[i];
        ts.lock();
        RenderView view = makeView();
        GuardedFrame f;
        for (int unsorted : {0, 1}) {
            ts.s.unsorted = unsorted;
            drawn.clear();
            scn_Render(&view, &ts.s, f.frame);
            EXPECT_EQ(ts.s.sortedList != nullptr, !unsorted && count > SCENE_QUICKSORT_MAX) << "radix sorted";
            ASSERT_EQ((int)drawn.size(), count);
            for (int i = 0; i < count; i++)
                ASSERT_EQ(drawn[i], unsorted ? (uint32_t)depth[i] : (uint32_t)(count - 1 - i)) << i << " of " << count;
        }
    }
}

// A floor that always crosses the near plane, a Gouraud cube with its own
// vertex colours (unlit keeps them) spinning in place, and a flat cube lit by
// the default face model riding on it as its child. The camera circles them,
// aimed at the first cube, rolling a little. These frames check the rotation
// order, parents, look-at and roll, the near-plane clipper's intersections and
// fans, and the fixed-point projection; the hostile test below the clipper's
// pool limits.
TEST(SceneGolden, ReferenceSceneFrames)
{
    static const uint64_t golden[] = {0x6fc45e95a7baa05aull, 0x47ee6b8f5331a7f4ull, 0xbd59c7c1a6b684b5ull,
                                      0xbad3449b0c798d8full, 0x7b63624510c286b1ull, 0xd9941cccdf571be7ull};
    TestScene t;
    Object *cam = t.camera(), *floor = t.add(makeGrid(8, 600, -60, MODE_FLAT));
    floor->lighting = LIGHT_UNLIT;
    for (int i = 0; i < floor->faceCount; i++)
        floor->faces[i].colour = ((i / 2 + i / 16) & 1) ? 0x00304050 : 0x00606878;
    Object *spinner = t.add(makeCube(40, MODE_GOURAUD)), *rider = t.add(makeCube(22, MODE_FLAT));
    for (int i = 0; i < spinner->vertexCount; i++)
        spinner->vertices[i].colour = 0xFF000000u | ((i & 1) ? 0xF04020u : 0x2040F0u) | ((i & 2) ? 0x00C000u : 0) |
                                      ((i & 4) ? 0x101080u : 0);
    obj_SetProperty(rider, PROP_COLOUR, 0xFFC040);
    rider->parent = spinner;
    rider->position[0] = 95, rider->position[1] = 20, rider->rotation[0] = 25, rider->rotation[2] = 40;
    cam->hasTarget = 1, cam->target = spinner, cam->focalLength = 140.0f;
    t.lock();
    RenderView view = makeView(10.0f);
    GuardedFrame f;
    for (int frame = 0; frame < 6; frame++) {
        const float a = frame * 0.9f;
        cam->position[0] = std::sin(a) * 230.0f;
        cam->position[1] = 70.0f + 50.0f * std::sin(2.0f * a);
        cam->position[2] = -std::cos(a) * 230.0f;
        cam->rotation[2] = frame * 4.0f;
        spinner->rotation[1] = frame * 23.0f, spinner->rotation[0] = frame * 7.0f;
        f.fill(0x00101820);
        scn_Render(&view, &t.s, f.frame);
        EXPECT_TRUE(f.intact()) << frame;
        EXPECT_EQ(t.s.droppedFaces, 0) << frame;
        checkGoldenFrame(f.frame, golden[frame], "scene" + std::to_string(frame));
    }
}

// A large floor, walls around the camera's region, an edge grid and a cube,
// seen from degenerate look-ats first (target at the eye, straight above and
// below, far above), then from random poses inside them, many across the near
// plane; every tenth pose takes NaN, infinite or huge values. Two dummies are
// each other's parent, one aimed at itself. The second scene's pools and draw
// list are far too small on purpose.
TEST(SceneHostile, DegenerateAndRandomPosesWriteOnlyTheFrameAndStayFinite)
{
    const float degenerate[][4] = {{0, 0, 0, 0}, {0, -500, 0, 0}, {0, 3, 0, 180}, {0, -1e7f, 0, 0}}; // eye, roll
    for (int small = 0; small < 2; small++) {
        TestScene t;
        Object *cam = t.camera();
        t.add(makeGrid(30, 3000, -50, MODE_GOURAUD));
        Object *wall = t.add(makeGrid(20, 800, 0, MODE_FLAT));
        wall->rotation[0] = 90, wall->position[2] = 400, wall->materials[0].doubleSided = 1;
        t.add(makeGrid(16, 500, 200, MODE_EDGES))->lighting = LIGHT_UNLIT;
        Object *cube = t.add(makeCube(300, MODE_FLAT)), *x = t.add(obj_CreateDummy()), *y = t.add(obj_CreateDummy());
        x->parent = y, y->parent = x, x->hasTarget = 1, x->target = x;
        t.s.smallFacePool = small;
        t.lock();
        if (small) {
            freeAligned(t.s.facePool), freeAligned(t.s.vertexPool), freeAligned(t.s.drawList);
            t.s.facePool = (Face *)allocAligned(t.s.facePoolSize = 3, sizeof(Face));
            t.s.vertexPool = (Vertex *)allocAligned(t.s.vertexPoolSize = 5, sizeof(Vertex));
            t.s.drawList = (DrawEntry *)allocAligned(t.s.drawCapacity = 50, sizeof(DrawEntry));
        }
        // Odd poses draw into a heap block of exactly the frame block's size
        // (the sanitizer build checks it), even ones inside sentinels.
        std::unique_ptr<uint32_t[]> exact(new uint32_t[FRAME_BLOCK_PIXELS]());
        GuardedFrame guarded(0x7F7F7F7F);
        std::mt19937 rng(1234 + small);
        int dropped = 0, drawnFrames = 0;
        for (int pose = 0; pose < 1500; pose++) {
            const bool hostile = pose % 10 == 9;
            auto pick = [&](float lo, float hi) {
                const float wild[] = {kNaN, INFINITY, -INFINITY, 3e38f, -3e38f, (float)(int32_t)rng()};
                return hostile && rng() % 8 == 0 ? wild[rng() % 6] : lo + (hi - lo) * (float)(rng() % 100000) / 1e5f;
            };
            for (int k = 0; k < 3; k++) {
                cam->position[k] = pose < 4 ? degenerate[pose][k] : pick(-350, 350);
                cam->rotation[k] = pose < 4 ? (k == 2) * degenerate[pose][3] : pick(-180, 180);
                cube->rotation[k] = pose < 4 ? 0 : pick(-180, 180);
                cube->scale[k] = pose % 7 ? 1.0f : pick(0.1f, 3);
            }
            cam->hasTarget = pose < 4 ? 1 : (int32_t)(rng() % 3);
            cam->target = pose < 4 || (rng() & 1) ? cube : nullptr;
            cam->targetPoint[0] = pick(-500, 500), cam->focalLength = pick(20, 600);
            cam->useDistortion = rng() % 5 == 0, cam->distortion = pick(0, 1e-4f);
            RenderView view = makeView(pick(1, 40));
            if (hostile)
                view.clipY0 = (int32_t)rng(), view.clipY1 = (int32_t)rng();
            scn_Render(&view, &t.s, (pose & 1) ? exact.get() + FRAME_GUARD_PIXELS : guarded.frame);
            ASSERT_LE(t.s.drawCount, t.s.drawCapacity);
            EXPECT_TRUE(pose >= 4 || allFinite(cam->localMatrix)) << "degenerate look-at " << pose;
            dropped += t.s.droppedFaces, drawnFrames += t.s.drawCount > 0;
        }
        EXPECT_TRUE(guarded.intact());
        EXPECT_TRUE(allFinite(x->localMatrix));
        EXPECT_TRUE(allFinite(y->localMatrix));
        EXPECT_GT(drawnFrames, 500);
        EXPECT_GE(dropped, small) << "the small pools ran out";
    }
}
