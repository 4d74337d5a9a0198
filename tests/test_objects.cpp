// Objects and object files: normals and the shade ramp, creation and
// materials, the geometry utilities, reading and saving the engine's object
// files (including cut and corrupt ones), and importing LightWave objects
// through Assimp.
#include <gtest/gtest.h>

#include <unistd.h> // Required for: chdir()

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h> // Required for: __lsan_disable(), __lsan_enable()
#endif

#include "data/data.h"
#include "data/objfile.h"
#include "meshes.h"
#include "render/motion.h"
#include "render/object.h"
#include "render/raster.h"
#include "testutil.h"

// Debian's assimp-testmodels package.
#define MODELS "/usr/share/assimp/models/LWO/"

namespace {

namespace {
struct ObjectDeleter {
    void operator()(Object *object) const { obj_Free(object); }
};
} // namespace
using ObjectPtr = std::unique_ptr<Object, ObjectDeleter>;
using Int3 = std::array<int, 3>;

// Runs f with standard output captured; returns what it printed.
template <typename F> std::string captured(F f)
{
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// One line, tagged by the function that reported it.
bool isTaggedLine(const std::string &out, const char *function)
{
    return out.rfind(std::string("[") + function + " :", 0) == 0 && out.find('\n') == out.size() - 1;
}

// Runs a function that makes an object, its messages captured into *out.
template <typename F> ObjectPtr make(F f, std::string *out = nullptr)
{
    Object *object = nullptr;
    std::string said = captured([&] { object = f(); });
    if (out)
        *out = said;
    return ObjectPtr(object);
}

// A mesh of the given vertices (object units) and faces (corner indices).
ObjectPtr makeMesh(const std::vector<std::array<int32_t, 3>> &points, const std::vector<Int3> &tris)
{
    ObjectPtr o = make([&] { return obj_Create((int)points.size(), (int)tris.size()); });
    for (size_t i = 0; i < points.size(); i++)
        std::tie(o->vertices[i].x, o->vertices[i].y, o->vertices[i].z) = std::tie(points[i][0], points[i][1], points[i][2]);
    for (size_t f = 0; f < tris.size(); f++) {
        Vertex *v = o->vertices;
        std::tie(o->faces[f].a, o->faces[f].b, o->faces[f].c) = std::make_tuple(v + tris[f][0], v + tris[f][1], v + tris[f][2]);
    }
    return o;
}

Int3 faceNormal(const Object &o, int f) { return {o.faces[f].nx, o.faces[f].ny, o.faces[f].nz}; }
Int3 vertexNormal(const Object &o, int v) { return {o.vertices[v].nx, o.vertices[v].ny, o.vertices[v].nz}; }
Int3 position(const Object &o, int v) { return {o.vertices[v].x, o.vertices[v].y, o.vertices[v].z}; }

std::vector<uint8_t> encode(const std::vector<float> &xyz, const std::vector<uint16_t> &faces, uint32_t flags = 0,
                            const std::vector<float> &normals = {}, const std::vector<float> &uvs = {})
{
    std::vector<uint8_t> out;
    EXPECT_TRUE(objEncode(xyz.data(), (uint32_t)xyz.size() / 3, faces.data(), (uint32_t)faces.size() / 4, flags,
                          normals.empty() ? nullptr : normals.data(), uvs.empty() ? nullptr : uvs.data(), &out));
    return out;
}

// Parses a copy of exactly the image's size, so that the sanitizer build
// catches any read past it.
ObjectPtr parse(const std::vector<uint8_t> &image, double scale, std::string *out = nullptr)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[image.size()]);
    std::copy(image.begin(), image.end(), exact.get());
    return make([&] { return objParse(exact.get(), image.size(), scale); }, out);
}

// Assimp 5.2 loses the node it was building when it gives up on an old LWOB
// file; that block is its own, so the leak check leaves it out while alive.
struct AssimpOwnLeak {
#if defined(__SANITIZE_ADDRESS__)
    AssimpOwnLeak() { __lsan_disable(); }
    ~AssimpOwnLeak() { __lsan_enable(); }
#endif
};

} // namespace

TEST(ObjShadeTable, RampsFollowTheCurveAndClampAtBothEnds)
{
    ObjectPtr object = makeMesh({}, {});
    EXPECT_EQ(object->shadeRamp[128], 23) << "every mesh starts with the (8, 250, 4) ramp";
    struct Case {
        int low, high;
        double exponent;
        int index, expected;
    } cases[] = {
        {8, 250, 4.0, 0, 8},     {8, 250, 4.0, 200, 99},  {8, 250, 4.0, 255, 250}, {0, 256, 1.0, 1, 1},
        {0, 256, 1.0, 255, 255}, {10, 250, 3.0, 128, 40}, {-40, 100, 1.0, 0, 0}, // 256 clamps to 255, -40 to 0
    };
    for (const Case &c : cases) {
        obj_BuildShadeTable(object.get(), c.low, c.high, c.exponent);
        EXPECT_EQ(object->shadeRamp[c.index], c.expected) << c.low << ".." << c.high << " ^" << c.exponent;
    }
}

TEST(ObjNormals, HandComputedFaceAndVertexNormals)
{
    // 200 faces around vertex 0, all facing +z: a 16-bit sum (50,000) would
    // wrap negative; the average is 50000 * (65536 / 200) >> 17 = 124.
    std::vector<std::array<int32_t, 3>> ring = {{0, 0, 0}};
    std::vector<Int3> ringFaces;
    for (int i = 0; i < 200; i++) {
        for (int k : {i, i + 1})
            ring.push_back({(int32_t)(1000 * std::cos(k * M_PI / 100)), (int32_t)(1000 * std::sin(k * M_PI / 100)), 0});
        ringFaces.push_back({0, 2 * i + 2, 2 * i + 1});
    }
    struct Case {
        const char *what;
        std::vector<std::array<int32_t, 3>> points;
        std::vector<Int3> tris;
        Int3 face0, vertex0;
    } cases[] = {
        // (R - P) x (Q - P) = (100, 0, 0) x (0, 100, 0) = (0, 0, 10000): length 125.
        {"right triangle", {{0, 0, 0}, {0, 100, 0}, {100, 0, 0}}, {{0, 1, 2}}, {0, 0, 125}, {0, 0, 125}},
        // Three coplanar faces on vertex 0: 750 * (65536 / 3) >> 17 = 124.
        {"fan of three", {{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {0, -100, 0}, {-100, 0, 0}},
         {{0, 1, 2}, {0, 4, 1}, {0, 3, 4}}, {0, 0, 125}, {0, 0, 124}},
        {"reversed", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}}, {{0, 1, 2}}, {0, 0, -125}, {0, 0, -125}},
        // (-10000, 0, 10000): 250 / sqrt 2 = 176.78 -> 176, halved 88.
        {"sloped", {{0, 0, 0}, {0, 100, 0}, {100, 0, 100}}, {{0, 1, 2}}, {-88, 0, 88}, {-88, 0, 88}},
        // No area: the zero normal, not the result of dividing by zero.
        {"degenerate", {{5, 5, 5}, {10, 10, 10}, {20, 20, 20}}, {{0, 1, 2}}, {0, 0, 0}, {0, 0, 0}},
        // Far-apart corners whose 32-bit cross product would overflow.
        {"huge", {{-2000000000, 0, 0}, {2000000000, 2000000000, 0}, {2000000000, -2000000000, 0}}, {{0, 1, 2}},
         {0, 0, 125}, {0, 0, 125}},
        {"200 faces on one vertex", ring, ringFaces, {0, 0, 125}, {0, 0, 124}},
    };
    for (const Case &c : cases) {
        ObjectPtr o = makeMesh(c.points, c.tris);
        obj_ComputeNormals(o.get());
        EXPECT_EQ(faceNormal(*o, 0), c.face0) << c.what;
        EXPECT_EQ(vertexNormal(*o, 0), c.vertex0) << c.what;
        EXPECT_EQ(o->vertices[0].normalCount, 0) << c.what;
    }
}

TEST(ObjNormals, FaceNormalsOnlyAndFlipping)
{
    ObjectPtr o = makeMesh({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}}, {{0, 1, 2}});
    o->vertices[1].nx = 7;
    obj_ComputeFaceNormals(o.get());
    EXPECT_EQ(faceNormal(*o, 0), (Int3{0, 0, 125}));
    EXPECT_EQ(vertexNormal(*o, 1), (Int3{7, 0, 0})) << "vertex normals stay as they were";
    obj_ComputeNormals(o.get());
    obj_FlipFaces(o.get());
    EXPECT_EQ(vertexNormal(*o, 1), (Int3{0, 0, -125}));
    EXPECT_TRUE(o->faces[0].a == &o->vertices[2] && o->faces[0].b == &o->vertices[1] && o->faces[0].c == o->vertices);
    EXPECT_EQ(faceNormal(*o, 0), (Int3{0, 0, 125})) << "face normals are left alone";
    obj_ComputeNormals(o.get());
    EXPECT_EQ(faceNormal(*o, 0), (Int3{0, 0, -125})) << "recomputed: the face now looks back";
}

TEST(ObjCreate, MeshesStartOnVertexZeroAndRefuseImpossibleCounts)
{
    ObjectPtr m(obj_Create(3, 2));
    ASSERT_TRUE(m);
    EXPECT_EQ((uintptr_t)m->vertices % 16, 0u);
    for (int i = 0; i < 3; i++) {
        uint32_t firstWord;
        memcpy(&firstWord, &m->vertices[i], 4);
        EXPECT_EQ(firstWord, 1u) << i;
        EXPECT_EQ(m->vertices[i].material, &m->materials[0]);
    }
    for (int f = 0; f < 2; f++) {
        const Face &face = m->faces[f];
        EXPECT_TRUE(face.a == m->vertices && face.b == face.a && face.c == face.a && face.edges == &face) << f;
    }
    // Faces need a vertex to start on; points alone are a mesh (the star clouds).
    for (auto counts : {std::array<int, 2>{0, 5}, {-1, 0}, {3, -2}}) {
        std::string out;
        EXPECT_EQ(make([&] { return obj_Create(counts[0], counts[1]); }, &out), nullptr) << counts[0] << counts[1];
        EXPECT_TRUE(isTaggedLine(out, "obj_Create")) << out;
    }
    ObjectPtr cloud(obj_Create(1024, 0));
    ASSERT_TRUE(cloud);
    EXPECT_TRUE(cloud->faces == nullptr && cloud->faceList != nullptr);
}

TEST(ObjProperties, SetPropertyWritesMaterialZeroOnly)
{
    ObjectPtr o = makeMesh({{0, 0, 0}}, {});
    Material &m = o->materials[0];
    obj_SetProperty(o.get(), PROP_COLOUR2, 0x00123456);
    EXPECT_EQ(m.red2 << 16 | m.green2 << 8 | m.blue2, 0x123456);
    obj_SetProperty(o.get(), PROP_DOUBLE_SIDED, 0x101);
    EXPECT_EQ(m.doubleSided, 1) << "low byte";
    // Mode 10 is no mode of its own: the default flat fill with the full clipper.
    obj_SetProperty(o.get(), PROP_MODE, 10);
    EXPECT_TRUE(m.mode == 10 && m.clipFill == clipPolyFull && m.triFill == tri_Flat);
    obj_SetProperty(o.get(), PROP_MODE, MODE_TEXTURED);
    EXPECT_EQ(m.triFill, tri_Textured);
    Material before = m;
    for (int property : {3, 7, 8, 0, 99})
        obj_SetProperty(o.get(), property, 0xFFFFFFFF);
    EXPECT_EQ(memcmp(&before, &m, sizeof before), 0);
    for (int i = 1; i < OBJ_MATERIALS; i++)
        EXPECT_EQ(o->materials[i].mode, 0) << i;
}

TEST(ObjProperties, UpdateFlagsReadsAllFourMaterials)
{
    struct Case {
        uint8_t modes[4], doubleSided[4];
        int faces;
        int singleSided, needsNormals, faceColours, vertexColours;
    } cases[] = {
        {{3, 3, 3, 3}, {1, 1, 1, 1}, 1, 0, 0, 0, 1},  {{0, 0, 4, 0}, {1, 1, 1, 1}, 1, 0, 1, 1, 0},
        {{12, 3, 0, 0}, {1, 1, 1, 0}, 1, 1, 1, 1, 1}, {{4, 3, 12, 0}, {0, 0, 0, 0}, 0, 1, 0, 0, 0}, // no faces
    };
    for (const Case &c : cases) {
        ObjectPtr o = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
        o->faceCount = c.faces;
        o->needsNormals = 0;
        o->vertexColours = o->faceColours = 1; // stale flags from an earlier set-up
        for (int i = 0; i < 4; i++)
            std::tie(o->materials[i].mode, o->materials[i].doubleSided) = std::tie(c.modes[i], c.doubleSided[i]);
        obj_UpdateFlags(o.get());
        EXPECT_EQ((Int3{o->hasSingleSided, o->needsNormals, o->faceColours}), (Int3{c.singleSided, c.needsNormals, c.faceColours}))
            << (int)c.modes[0];
        EXPECT_EQ(o->vertexColours, c.vertexColours) << (int)c.modes[0];
        for (const Material &m : o->materials)
            EXPECT_EQ(m.owner, o.get());
    }
}

TEST(ObjGeometry, CenterMovesByTheTruncatedMidpoint)
{
    const Int3 cases[] = {{-10, 30, -10}, {-3, 4, 0}, {-4, -1, 2}, {20000, 20010, -20005}}; // low, high, shift
    for (auto [lo, hi, shift] : cases) {
        ObjectPtr o = makeMesh({{lo, 5, 5}, {hi, 5, 7}, {(lo + hi) / 2, 5, 6}}, {});
        obj_Center(o.get());
        EXPECT_EQ(o->vertices[0].x, lo + shift) << lo << ".." << hi;
        EXPECT_EQ(o->vertices[1].x, hi + shift) << lo << ".." << hi;
        EXPECT_EQ(position(*o, 2)[1] | position(*o, 2)[2], 0);
        // The box keeps the extent from before the move.
        EXPECT_TRUE(o->boxMin[0] == lo && o->boxMax[0] == hi && o->boxCorners[1][0] == (float)hi) << lo;
    }
    ObjectPtr empty = makeMesh({}, {});
    obj_Center(empty.get()); // nothing to move
    EXPECT_EQ(empty->boxMin[0], 1000000);
    EXPECT_EQ(obj_GetRadius(empty.get()), 0.0f);
}

TEST(ObjGeometry, ScaleRadiusAndBoxCorners)
{
    ObjectPtr o = makeMesh({{3, 4, 12}, {-1, 2, 0}}, {});
    EXPECT_FLOAT_EQ(obj_GetRadius(o.get()), 13.0f);
    o->boxMin[0] = -1, o->boxMin[1] = 2, o->boxMin[2] = 0;
    o->boxMax[0] = 3, o->boxMax[1] = 4, o->boxMax[2] = 12;
    obj_BoxCorners(o.get());
    const float expected[8][3] = {{-1, 2, 0},  {3, 2, 0},  {3, 4, 0},  {-1, 4, 0},
                                  {-1, 2, 12}, {3, 2, 12}, {3, 4, 12}, {-1, 4, 12}};
    EXPECT_EQ(memcmp(o->boxCorners, expected, sizeof expected), 0);
    obj_Scale(o.get(), 2.5, 0.5, -1.0);
    EXPECT_EQ(position(*o, 0), (Int3{7, 2, -12})); // 7.5 truncated
    EXPECT_EQ(position(*o, 1), (Int3{-2, 1, 0}));  // -2.5 -> -2
    // A mirrored box keeps min below max.
    EXPECT_EQ((Int3{o->boxMin[0], o->boxMin[2], o->boxMax[2]}), (Int3{-2, -12, 0}));
    EXPECT_EQ(o->boxCorners[6][0], 7.0f);
}

TEST(ObjGeometry, RotateAboutAnAxis)
{
    const float d = 0.57735027f;
    const std::array<float, 10> cases[] = {
        // v, axis, degrees, expected
        {1, 0, 0, 0, 1, 0, 90, 0, 0, -1},      {0, 2, 0, 1, 0, 0, 180, 0, -2, 0},
        {1, 1, 1, d, d, d, 77, 1, 1, 1},       {1, 0, 0, d, d, d, 120, 0, 1, 0},
        {0.5f, -300, 0.2f, 0, 1, 0, 30, 0.5330127f, -300, -0.0767949f},
    };
    for (const auto &c : cases) {
        float v[3] = {c[0], c[1], c[2]};
        vec_RotateAxis(v, &c[3], c[6]);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(v[k], c[7 + k], 2e-5f) << c[6] << " deg, component " << k;
    }
}

TEST(ObjMotion, CopiesChannelsAndEvaluatesKeyframesOnly)
{
    ObjectPtr mesh = makeMesh({}, {});
    Motion motion{};
    for (int i = 0; i < MOTION_CHANNELS; i++)
        motion.values[i] = 10.0f * (i + 1);
    obj_ApplyMotion(mesh.get(), 5.0f); // no motion: nothing moves
    EXPECT_EQ(mesh->position[0], 0.0f);

    // Not a keyframe motion: its values are copied, never evaluated.
    MotionKey key{};
    for (int i = 0; i < MOTION_CHANNELS; i++)
        key.value[i] = -1.0f;
    motion.keys = &key;
    motion.keyCount = motion.keyCapacity = 1;
    motion.channelCount = MOTION_CHANNELS;
    motion.keyInterval = 100.0f;
    mesh->motion = &motion;
    obj_ApplyMotion(mesh.get(), 5.0f);
    EXPECT_EQ(mesh->position[2], 30.0f);
    EXPECT_EQ(mesh->rotation[0], 40.0f);
    EXPECT_EQ(mesh->scale[0], 1.0f) << "scale follows only for type 4";

    // A keyframe motion is evaluated first: one key is the whole path.
    motion.type = MOTION_KEYFRAMES;
    mesh->type = OBJ_MESH_SCALED;
    for (int i = 0; i < MOTION_CHANNELS; i++)
        key.value[i] = 100.0f + i;
    obj_ApplyMotion(mesh.get(), 250.0f);
    EXPECT_FLOAT_EQ(mesh->position[1], 101.0f);
    EXPECT_FLOAT_EQ(mesh->rotation[2], 105.0f);
    EXPECT_FLOAT_EQ(mesh->scale[2], 108.0f);
}

TEST(ObjParse, BlocksAreBigEndianScaledAndSurfacesPickMaterials)
{
    // flags 4: vertex (1, -2, 0.5) with (0.5, 1.0) read at scale 1000.
    std::string out;
    ObjectPtr o = parse(encode({1.0f, -2.0f, 0.5f, 1.0f, -1.0f, 0.5f, 2.0f, -2.0f, 0.5f}, {0, 1, 2, 2},
                               OBJ_FLAG_TEXCOORDS, {}, {0.5f, 1.0f, 0.0f, 0.25f, -1.0f, 0.0f}),
                        1000.0, &out);
    ASSERT_TRUE(o) << out;
    EXPECT_EQ(out, "faces:1, verts:3\n1000,-2000,500 - 2000,-1000,500\n");
    EXPECT_EQ(position(*o, 0), (Int3{1000, -2000, 500}));
    EXPECT_EQ((Int3{o->vertices[0].u, o->vertices[0].v, o->vertices[2].u}), (Int3{128, 256, -256}));
    EXPECT_EQ(vertexNormal(*o, 0), (Int3{0, 0, 0})) << "flags set: no vertex normals computed";
    EXPECT_EQ(faceNormal(*o, 0), (Int3{0, 0, 125}));
    EXPECT_EQ(o->faces[0].material, &o->materials[2]) << "surface 2 is material 2";
    EXPECT_TRUE(o->boxCorners[7][0] == 1000.0f && o->boxCorners[7][1] == -1000.0f);

    // The normal block, then the texture block.
    o = parse(encode({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2, 0}, OBJ_FLAG_NORMALS | OBJ_FLAG_TEXCOORDS,
                     {0.0f, 125.9f, -125.9f, 1e9f, -1e9f, NAN, 3, 2, 1}, {0.25f, 0.5f, 0, 0, 1, 1}),
              100.0);
    ASSERT_TRUE(o);
    EXPECT_EQ(vertexNormal(*o, 0), (Int3{0, 125, -125}));
    EXPECT_EQ(vertexNormal(*o, 1), (Int3{32767, -32768, 0})) << "out of range saturates, NaN is 0";
    EXPECT_EQ(vertexNormal(*o, 2), (Int3{3, 2, 1}));
    EXPECT_EQ((Int3{o->vertices[0].u, o->vertices[0].v, o->vertices[2].v}), (Int3{64, 128, 256}));
    EXPECT_EQ(position(*o, 1), (Int3{100, 0, 0}));
}

TEST(ObjParse, RefusesCountsBlocksAndIndicesBeyondTheImage)
{
    const std::vector<uint8_t> good = encode({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2, 0}, OBJ_FLAG_NORMALS | OBJ_FLAG_TEXCOORDS,
                                             std::vector<float>(9, 1.0f), std::vector<float>(6, 0.5f));
    // Every cut that loses a byte of the announced blocks (the end word is optional).
    for (size_t size = 0; size + 4 < good.size(); size++) {
        std::string out;
        EXPECT_FALSE(parse({good.begin(), good.begin() + size}, 1000.0, &out)) << size;
        EXPECT_TRUE(isTaggedLine(out, "parseImage")) << size << ": " << out;
    }
    EXPECT_TRUE(parse({good.begin(), good.end() - 4}, 1000.0));
    struct Case {
        size_t at;
        std::vector<uint8_t> bytes;
        const char *message;
    } cases[] = {
        {8, {0x10, 0, 0, 0}, "268435456 vertices run past"},
        {8, {0x15, 0x55, 0x55, 0x56}, "vertices run past"}, // 12 x count wraps 32 bits
        {48, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295 faces run past"},
        {52, {0, 3}, "face 0 (3, 1, 2) points past its 3 vertices"},
        {56, {0xFF, 0xFF}, "points past"},
        {58, {0, 4}, "face 0 has surface 4"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bad = good;
        std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + c.at);
        std::string out;
        EXPECT_FALSE(parse(bad, 1000.0, &out)) << c.message;
        EXPECT_TRUE(isTaggedLine(out, "parseImage") && out.find(c.message) != std::string::npos) << out;
    }
    // Blocks announced by flags that the file does not hold.
    std::vector<uint8_t> plain = encode({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2, 0});
    for (uint8_t flags : {1, 4, 5}) {
        plain[7] = flags;
        std::string out;
        EXPECT_FALSE(parse(plain, 1000.0, &out)) << (int)flags;
        EXPECT_NE(out.find("block runs past its 64 bytes"), std::string::npos) << out;
    }
    plain[7] = 2; // a bit without meaning
    EXPECT_TRUE(parse(plain, 1000.0));
    std::string out;
    EXPECT_EQ(make([] { return objParse(nullptr, 100, 1.0); }, &out), nullptr);
    EXPECT_TRUE(isTaggedLine(out, "parseImage")) << out;
}

TEST(ObjParse, RandomCutsAndBitFlipsEndInAnObjectOrAMessage)
{
    std::mt19937 random(20240611);
    std::vector<std::vector<uint8_t>> seeds = {
        encode({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1}, {0, 1, 2, 0, 1, 3, 2, 3}, 5, std::vector<float>(12, 0.5f),
               std::vector<float>(8, 0.25f)),
        encode({1, 2, 3, -1, -2, -3, 5, 5, 5}, {0, 1, 2, 1, 2, 1, 0, 0}),
    };
    std::string cube, error;
    ASSERT_TRUE(meshEncodeObject(meshCube(), &cube, &error)) << error;
    seeds.emplace_back(cube.begin(), cube.end());
    int objects = 0, refusals = 0;
    for (int round = 0; round < 1500; round++) {
        std::vector<uint8_t> image = seeds[round % seeds.size()];
        if (random() % 3 == 0)
            image.resize(random() % (image.size() + 1));
        for (int flips = random() % 4; flips >= 0 && !image.empty(); flips--)
            image[random() % image.size()] ^= (uint8_t)(1u << (random() % 8));
        std::string out;
        ObjectPtr o = parse(image, round % 2 ? 1000.0 : 1e12, &out);
        if (o) {
            objects++;
            EXPECT_EQ(out.rfind("faces:", 0), 0u) << round;
            for (int f = 0; f < o->faceCount; f++)
                ASSERT_GE(obj_VertexIndex(o.get(), o->faces[f].c), 0) << round;
        } else {
            refusals++;
            EXPECT_TRUE(isTaggedLine(out, "parseImage")) << round << ": " << out;
        }
    }
    EXPECT_GT(objects, 150);
    EXPECT_GT(refusals, 150);
}

// Works in a fresh directory with "assets/" as the base path.
class ObjFiles : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeDirs(dir / "assets/lwobj"));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        captured([] { dataSetBasePath("assets/"); });
    }
    void asset(const std::string &name, const std::string &bytes) { ASSERT_TRUE(writeFile(dir / ("assets/" + name), bytes)); }
    std::string assetBytes(const std::string &name) { return readFile(dir / ("assets/" + name)); }
    // A model of Debian's assimp-testmodels package.
    static std::string model(const std::string &name)
    {
        std::string bytes = readFile(MODELS + name);
        EXPECT_FALSE(bytes.empty()) << name << " is missing: install Debian's assimp-testmodels";
        return bytes;
    }
    static ObjectPtr import(const char *name, std::string *out = nullptr)
    {
        return make([&] { return objImport(name); }, out);
    }
    TempDir dir;
};

TEST_F(ObjFiles, SaveWritesTheFormatAndLoadTruncatesAUnitAway)
{
    ObjectPtr o = makeMesh({{2352, -2352, 1000}, {0, 123456, -7}, {1, -1, 999}, {500, 500, 500}}, {{0, 1, 2}, {2, 1, 3}});
    o->faces[1].material = &o->materials[2];
    ASSERT_EQ(objSave(o.get(), "lwobj/saved.lob"), 1);
    std::string file = assetBytes("lwobj/saved.lob"), out;
    ASSERT_EQ(file.size(), 20u + 12 * 4 + 8 * 2);
    EXPECT_EQ(file.substr(0, 16), std::string("\0\0\0\0\0\0\0\0\0\0\0\x04\x40\x16\x87\x2B", 16)) << "flags 0, 4 vertices, 2.352f";
    EXPECT_EQ(file.substr(60), std::string("\0\0\0\x02\0\0\0\x01\0\x02\0\0\0\x02\0\x01\0\x03\0\0\0\0\0\0", 24))
        << "corner indices, surface 0, end word";
    ObjectPtr back = make([] { return objLoad("lwobj/saved.lob", 1000.0); }, &out);
    ASSERT_TRUE(back) << out;
    EXPECT_STREQ(back->name, "saved.lob");
    // 2352 is stored as 2.3519999... and reads back one unit short; the rest hold.
    EXPECT_EQ(position(*back, 0), (Int3{2351, -2351, 1000}));
    EXPECT_EQ(position(*back, 1), (Int3{0, 123456, -7}));
    EXPECT_EQ(back->faces[1].material, &back->materials[0]) << "saved faces all sit on surface 0";
    EXPECT_EQ(back->faces[1].a, &back->vertices[2]);
    EXPECT_NE(vertexNormal(*back, 0), (Int3{0, 0, 0})) << "flags 0: normals recomputed";
}

TEST_F(ObjFiles, SaveReplacesWhollyAndRefusesWhatItCannotWrite)
{
    asset("lwobj/old.lob", std::string(5000, 'x'));
    ObjectPtr o = makeMesh({{1000, 0, 0}, {0, 1000, 0}, {0, 0, 1000}}, {{0, 1, 2}});
    ASSERT_EQ(objSave(o.get(), "lwobj/old.lob"), 1);
    EXPECT_EQ(assetBytes("lwobj/old.lob").size(), 20u + 36 + 8);
    std::string out = captured([&] { EXPECT_EQ(objSave(o.get(), "nodir/x.lob"), 0); });
    EXPECT_TRUE(isTaggedLine(out, "dataSaveFile")) << out;
    EXPECT_NE(out.find("]\"Could not open file for writing:<assets/nodir/x.lob>\\n\"\n"), std::string::npos) << out;
    Vertex stray{};
    o->faces[0].b = &stray;
    out = captured([&] { EXPECT_EQ(objSave(o.get(), "lwobj/stray.lob"), 0); });
    EXPECT_TRUE(isTaggedLine(out, "objSave")) << out;
    out = captured([] { EXPECT_EQ(objSave(nullptr, "lwobj/none.lob"), 0); });
    EXPECT_TRUE(isTaggedLine(out, "objSave")) << out;
    EXPECT_EQ(listDir(dir / "assets/lwobj"), std::vector<std::string>{"old.lob"}) << "no temporary or refused file left";
}

TEST_F(ObjFiles, LoadAndImportLookUnderTheBasePathThenTheWorkingDirectory)
{
    std::string cube, error, out;
    ASSERT_TRUE(meshEncodeObject(meshCube(), &cube, &error)) << error;
    ASSERT_TRUE(makeDirs(dir / "lwobj") && makeDirs(dir / "here") && makeDirs(dir / "assets/here"));
    ASSERT_TRUE(writeFile(dir / "lwobj/simplecube.lobj", cube)); // beside assets/, not in it
    ObjectPtr o = make([] { return objLoad("lwobj/simplecube.lobj", 100.0); }, &out);
    ASSERT_TRUE(o && out.find("faces:") != std::string::npos) << out;
    EXPECT_EQ(out.substr(out.find("faces:")), "faces:12, verts:8\n-100,-100,-100 - 100,100,100\n");
    EXPECT_EQ(obj_GetRadius(o.get()), std::sqrt(30000.0f));
    EXPECT_EQ(make([] { return objLoad("lwobj/nothing.lobj", 1000.0); }, &out), nullptr);
    EXPECT_NE(out.find("Object file lwobj/nothing.lobj not found\n"), std::string::npos) << out;
    asset("lwobj/cut.lobj", cube.substr(0, 40));
    EXPECT_EQ(make([] { return objLoad("lwobj/cut.lobj", 1000.0); }, &out), nullptr);
    EXPECT_TRUE(isTaggedLine(out, "parseImage") && out.find("lwobj/cut.lobj: 8 vertices run past its 40 bytes") != std::string::npos)
        << out;

    ASSERT_TRUE(writeFile(dir / "here/box.lwo", model("LWO2/boxuv.lwo")));
    o = import("here/box.lwo");
    ASSERT_TRUE(o && o->vertexCount == 8);
    asset("here/box.lwo", model("LWO2/Subdivision.lwo")); // under the base path wins
    o = import("here/box.lwo");
    ASSERT_TRUE(o && o->vertexCount == 26);
}

TEST_F(ObjFiles, ImportsLightWaveFilesByContent)
{
    struct Case {
        const char *file;
        int vertices, faces;
        const char *box;
    } cases[] = {
        {"LWO2/boxuv.lwo", 8, 12, "-500,-500,-500 - 500,500,500"},
        // No extension at all. -3.85f is -3.8499999 and truncates to -3849.
        {"LWO2/formatDetection", 24, 22, "-3849,0,-2299 - -250,0,899"},
        {"LXOB_Modo/sphereWithVertMap.lxo", 266, 528, "-2150,-2099,-2500 - 2150,2099,2599"},
    };
    for (const Case &c : cases) {
        // Named as a Wavefront file: Assimp would choose by the name.
        asset("lwobj/model.obj", model(c.file));
        std::string out;
        ObjectPtr o = import("lwobj/model.obj", &out);
        ASSERT_TRUE(o) << c.file << ": " << out;
        char line[128];
        snprintf(line, sizeof line, "V:%d F:%d %s\n", c.vertices, c.faces, c.box);
        EXPECT_NE(out.find(line), std::string::npos) << c.file << ": " << out;
        EXPECT_TRUE(o->vertexCount == c.vertices && o->faceCount == c.faces && o->lighting == 7) << c.file;
        for (int f = 0; f < o->faceCount; f++) {
            const Face &face = o->faces[f];
            ASSERT_TRUE(obj_VertexIndex(o.get(), face.a) >= 0 && face.material == o->materials) << c.file << f;
            if (c.vertices != 8)
                continue;
            // The box: each face normal is axis-aligned and points away from the centre.
            Int3 n = faceNormal(*o, f);
            int64_t outward = (int64_t)n[0] * (face.a->x + face.b->x + face.c->x) +
                              (int64_t)n[1] * (face.a->y + face.b->y + face.c->y) +
                              (int64_t)n[2] * (face.a->z + face.b->z + face.c->z);
            EXPECT_EQ(std::abs(n[0]) + std::abs(n[1]) + std::abs(n[2]), 125) << f;
            EXPECT_LT(outward, 0) << "face " << f << ": (R - P) x (Q - P) points inward for outward-wound faces";
        }
    }
    // Vertex colours become the vertices' colours.
    asset("lwobj/colours.lwo", model("LWO2/box_2vc_1unused.lwo"));
    ObjectPtr o = import("lwobj/colours.lwo");
    ASSERT_TRUE(o);
    EXPECT_EQ(o->vertexCount, 218);
    for (int v = 0; v < o->vertexCount; v++) {
        EXPECT_EQ(o->vertices[v].colour, o->vertices[v].baseColour) << v;
        EXPECT_TRUE(o->vertices[v].colour >> 24 == 0 && o->vertices[v].colour != 0x7F7F7F7F) << v;
    }
}

TEST_F(ObjFiles, ImportsTheProductionsOwnFiles)
{
    std::vector<MeshFile> files;
    std::string error, out;
    ASSERT_TRUE(meshObjectFiles(&files, &error)) << error;
    for (const MeshFile &f : files)
        asset(f.name, f.bytes);
    ObjectPtr elude = import("lwobj/elude.obj", &out);
    ASSERT_TRUE(elude) << out;
    Mesh mesh = meshElude();
    EXPECT_EQ(elude->faceCount, (int)mesh.faceCount());
    // The importer undoes the file's mirror image: the engine sees the mesh as built.
    std::multiset<Int3> got, built;
    for (int v = 0; v < elude->vertexCount; v++)
        got.insert(position(*elude, v));
    for (size_t i = 0; i < mesh.xyz.size(); i += 3)
        built.insert({(int)(mesh.xyz[i] * 1000.0), (int)(mesh.xyz[i + 1] * 1000.0), (int)(mesh.xyz[i + 2] * 1000.0)});
    EXPECT_TRUE(got == built);

    // One-point polygons come back as point faces: one vertex three times.
    ObjectPtr cloud = import("lwobj/particle_test1.lwo", &out);
    ASSERT_TRUE(cloud) << out;
    EXPECT_EQ(cloud->vertexCount, (int)meshParticles().vertexCount());
    EXPECT_EQ(cloud->faceCount, cloud->vertexCount);
    for (int f = 0; f < cloud->faceCount; f++) {
        const Face &face = cloud->faces[f];
        ASSERT_TRUE(face.a == face.b && face.b == face.c && obj_VertexIndex(cloud.get(), face.a) >= 0) << f;
        ASSERT_EQ(face.nx | face.ny | face.nz, 0) << f;
    }
}

TEST_F(ObjFiles, ImportRefusesForeignCutAndOldFiles)
{
    std::string box = model("LWO2/boxuv.lwo");
    asset("lwobj/cut.lwo", box.substr(0, box.size() / 2));
    asset("lwobj/wavefront.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    asset("lwobj/aiff.lwo", "FORMxxxxAIFFCOMM");
    asset("lwobj/empty.lwo", "");
    asset("lwobj/old.lwo", model("LWOB/sphere_with_mat_gloss_10pc.lwo"));
    const std::pair<const char *, const char *> cases[] = {
        {"lwobj/cut.lwo", "lwobj/cut.lwo is cut short: 550 of 1100 bytes"},
        {"lwobj/wavefront.obj", "lwobj/wavefront.obj is not a LightWave object"},
        {"lwobj/aiff.lwo", "lwobj/aiff.lwo is not a LightWave object"},
        {"lwobj/empty.lwo", "lwobj/empty.lwo is not a LightWave object"},
        {"lwobj/missing.lwo", "LightWave file lwobj/missing.lwo not found"},
        {"lwobj/old.lwo", "lwobj/old.lwo: LWO: Unable to build a valid node graph"}, // LWOB in this Assimp
    };
    for (auto [name, message] : cases) {
        std::string out;
        [[maybe_unused]] std::unique_ptr<AssimpOwnLeak> allowed(strstr(name, "old") ? new AssimpOwnLeak : nullptr);
        EXPECT_EQ(import(name, &out), nullptr) << name;
        allowed.reset();
        EXPECT_NE(out.find("[objImport :"), std::string::npos) << name << ": " << out;
        EXPECT_NE(out.find(message), std::string::npos) << name << ": " << out;
    }
}

TEST_F(ObjFiles, CacheConvertsOnceAndRebuildsARefusedCopy)
{
    asset("lwobj/box.lwo", model("LWO2/boxuv.lwo"));
    auto cached = [](const char *name, bool points, std::string *out) {
        return make([&] { return objLoadCached("lwobj/box.lwo", name, points); }, out);
    };
    std::string out;
    ObjectPtr first = cached("lwobj/box.lwo.cached", false, &out);
    ASSERT_TRUE(first && out.find("V:8 F:12") != std::string::npos) << out;
    std::string converted = assetBytes("lwobj/box.lwo.cached");
    EXPECT_EQ(converted.size(), 20u + 12 * 8 + 8 * 12);
    ObjectPtr second = cached("lwobj/box.lwo.cached", false, &out);
    ASSERT_TRUE(second) << out;
    EXPECT_EQ(out.find("V:"), std::string::npos) << "served from the converted file: " << out;
    EXPECT_TRUE(second->faceCount == 12 && strcmp(second->name, "box.lwo.cached") == 0);
    for (int v = 0; v < 8; v++)
        EXPECT_EQ(position(*second, v), position(*first, v)) << v;
    asset("lwobj/box.lwo.cached", converted.substr(0, 30));
    ASSERT_TRUE(cached("lwobj/box.lwo.cached", false, &out)) << out;
    EXPECT_TRUE(assetBytes("lwobj/box.lwo.cached") == converted) << "the refused copy is rebuilt";
    // A point cloud keeps only its points.
    second = cached("lwobj/box.lwo.lob", true, &out);
    ASSERT_TRUE(second && second->faceCount == 0);
    EXPECT_EQ(assetBytes("lwobj/box.lwo.lob").size(), 20u + 12 * 8);
    // Nothing to import: no object and no file.
    EXPECT_EQ(make([] { return objLoadCached("lwobj/gone.lwo", "lwobj/gone.lwo.lob", true); }), nullptr);
    EXPECT_EQ(listDir(dir / "assets/lwobj"), (std::vector<std::string>{"box.lwo", "box.lwo.cached", "box.lwo.lob"}));
}
