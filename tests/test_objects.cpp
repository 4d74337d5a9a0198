// Objects and object files: creation records, materials and flags, normals
// and the shade ramp, the geometry utilities, reading and saving the engine's
// object files (including cut and corrupt ones), and importing LightWave
// objects through Assimp.
#include <gtest/gtest.h>

#include <unistd.h> // Required for: chdir()

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
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

struct ObjectDeleter {
    void operator()(Object *object) const { obj_Free(object); }
};
using ObjectPtr = std::unique_ptr<Object, ObjectDeleter>;

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

// A mesh of the given vertices (object units) and faces (corner indices).
ObjectPtr makeMesh(const std::vector<std::array<int32_t, 3>> &points, const std::vector<std::array<int, 3>> &tris)
{
    ObjectPtr object;
    captured([&] { object.reset(obj_Create((int)points.size(), (int)tris.size())); });
    for (size_t i = 0; i < points.size(); i++) {
        object->vertices[i].x = points[i][0];
        object->vertices[i].y = points[i][1];
        object->vertices[i].z = points[i][2];
    }
    for (size_t f = 0; f < tris.size(); f++) {
        object->faces[f].a = &object->vertices[tris[f][0]];
        object->faces[f].b = &object->vertices[tris[f][1]];
        object->faces[f].c = &object->vertices[tris[f][2]];
    }
    return object;
}

std::array<int, 3> faceNormal(const Object &o, int f) { return {o.faces[f].nx, o.faces[f].ny, o.faces[f].nz}; }
std::array<int, 3> vertexNormal(const Object &o, int v) { return {o.vertices[v].nx, o.vertices[v].ny, o.vertices[v].nz}; }
std::array<int32_t, 3> position(const Object &o, int v) { return {o.vertices[v].x, o.vertices[v].y, o.vertices[v].z}; }

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
    ObjectPtr object;
    std::string said = captured([&] { object.reset(objParse(exact.get(), image.size(), scale)); });
    if (out)
        *out = said;
    return object;
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

// ---------------------------------------------------------------------------
// Shade ramp and normals
// ---------------------------------------------------------------------------

TEST(ObjShadeTable, RampsFollowTheCurveAndClampAtTheTop)
{
    ObjectPtr object = makeMesh({}, {});
    EXPECT_EQ(object->shadeRamp[128], 23) << "every mesh starts with the (8, 250, 4) ramp";
    struct Case {
        int low, high;
        double exponent;
        int index, expected;
    } cases[] = {
        {8, 250, 4.0, 0, 8},     {8, 250, 4.0, 128, 23},  {8, 250, 4.0, 200, 99}, {8, 250, 4.0, 255, 250},
        {0, 256, 1.0, 1, 1},     {0, 256, 1.0, 254, 254}, {0, 256, 1.0, 255, 255}, // 256 clamps to 255
        {10, 250, 3.0, 128, 40}, {10, 250, 3.0, 200, 125},
    };
    for (const Case &c : cases) {
        obj_BuildShadeTable(object.get(), c.low, c.high, c.exponent);
        EXPECT_EQ(object->shadeRamp[c.index], c.expected)
            << c.low << ".." << c.high << " ^" << c.exponent << " at " << c.index;
    }
    obj_BuildShadeTable(object.get(), -40, 100, 1.0);
    EXPECT_EQ(object->shadeRamp[0], 0) << "negative levels clamp to 0, not wrap";
}

TEST(ObjNormals, RightTriangleGivesUnitZEverywhere)
{
    // (R - P) x (Q - P) = (100, 0, 0) x (0, 100, 0) = (0, 0, 10000) -> 250.
    ObjectPtr o = makeMesh({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}}, {{0, 1, 2}});
    obj_ComputeNormals(o.get());
    EXPECT_EQ(faceNormal(*o, 0), (std::array<int, 3>{0, 0, 125}));
    for (int v = 0; v < 3; v++) {
        EXPECT_EQ(vertexNormal(*o, v), (std::array<int, 3>{0, 0, 125})) << v;
        EXPECT_EQ(o->vertices[v].normalCount, 0) << v;
    }
}

TEST(ObjNormals, AveragesTruncateAndSlopesScale)
{
    struct Case {
        const char *what;
        std::vector<std::array<int32_t, 3>> points;
        std::vector<std::array<int, 3>> tris;
        std::array<int, 3> face0, vertex0;
    } cases[] = {
        // Three coplanar faces on vertex 0: 750 * (65536 / 3) >> 17 = 124.
        {"fan of three", {{0, 0, 0}, {0, 100, 0}, {100, 0, 0}, {0, -100, 0}, {-100, 0, 0}},
         {{0, 1, 2}, {0, 4, 1}, {0, 3, 4}}, {0, 0, 125}, {0, 0, 124}},
        // Reversed winding: (0, 0, -250) -> -125 exactly.
        {"reversed", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}}, {{0, 1, 2}}, {0, 0, -125}, {0, 0, -125}},
        // (100, 0, 100) x (0, 100, 0) = (-10000, 0, 10000): 250 / sqrt 2 = 176.78 -> 176, halved 88.
        {"sloped", {{0, 0, 0}, {0, 100, 0}, {100, 0, 100}}, {{0, 1, 2}}, {-88, 0, 88}, {-88, 0, 88}},
        // No area: the zero normal, not the result of dividing by zero.
        {"degenerate", {{5, 5, 5}, {10, 10, 10}, {20, 20, 20}}, {{0, 1, 2}}, {0, 0, 0}, {0, 0, 0}},
        // Far-apart corners whose 32-bit cross product would overflow.
        {"huge", {{-2000000000, 0, 0}, {2000000000, 2000000000, 0}, {2000000000, -2000000000, 0}}, {{0, 1, 2}},
         {0, 0, 125}, {0, 0, 125}},
    };
    for (const Case &c : cases) {
        ObjectPtr o = makeMesh(c.points, c.tris);
        obj_ComputeNormals(o.get());
        EXPECT_EQ(faceNormal(*o, 0), c.face0) << c.what;
        EXPECT_EQ(vertexNormal(*o, 0), c.vertex0) << c.what;
    }
}

TEST(ObjNormals, ManyFacesOnOneVertexDoNotWrap)
{
    // 200 faces around vertex 0, all facing +z: a 16-bit sum (50,000) would
    // wrap negative; the average is 50000 * (65536 / 200) >> 17 = 124.
    std::vector<std::array<int32_t, 3>> points = {{0, 0, 0}};
    std::vector<std::array<int, 3>> tris;
    for (int i = 0; i < 200; i++) {
        double a0 = i * 2 * M_PI / 200, a1 = (i + 1) * 2 * M_PI / 200;
        points.push_back({(int32_t)(1000 * std::cos(a0)), (int32_t)(1000 * std::sin(a0)), 0});
        points.push_back({(int32_t)(1000 * std::cos(a1)), (int32_t)(1000 * std::sin(a1)), 0});
        tris.push_back({0, 2 * i + 2, 2 * i + 1}); // (c - a) x (b - a) points along +z
    }
    ObjectPtr o = makeMesh(points, tris);
    obj_ComputeNormals(o.get());
    EXPECT_EQ(vertexNormal(*o, 0), (std::array<int, 3>{0, 0, 124}));
}

TEST(ObjNormals, FaceNormalsOnlyAndFlipping)
{
    ObjectPtr o = makeMesh({{0, 0, 0}, {0, 100, 0}, {100, 0, 0}}, {{0, 1, 2}});
    o->vertices[1].nx = 7;
    obj_ComputeFaceNormals(o.get());
    EXPECT_EQ(faceNormal(*o, 0), (std::array<int, 3>{0, 0, 125}));
    EXPECT_EQ(vertexNormal(*o, 1), (std::array<int, 3>{7, 0, 0})) << "vertex normals stay as they were";
    EXPECT_EQ(vertexNormal(*o, 0), (std::array<int, 3>{0, 0, 0}));

    obj_ComputeNormals(o.get());
    obj_FlipFaces(o.get());
    EXPECT_EQ(vertexNormal(*o, 1), (std::array<int, 3>{0, 0, -125}));
    EXPECT_EQ(o->faces[0].a, &o->vertices[2]);
    EXPECT_EQ(o->faces[0].b, &o->vertices[1]);
    EXPECT_EQ(o->faces[0].c, &o->vertices[0]);
    EXPECT_EQ(faceNormal(*o, 0), (std::array<int, 3>{0, 0, 125})) << "face normals are left alone";
    obj_ComputeNormals(o.get());
    EXPECT_EQ(faceNormal(*o, 0), (std::array<int, 3>{0, 0, -125})) << "recomputed: the face now looks back";
}

// ---------------------------------------------------------------------------
// Creation and materials
// ---------------------------------------------------------------------------

TEST(ObjCreate, MeshStartsGouraudWithEveryCornerOnVertexZero)
{
    ObjectPtr m(obj_Create(3, 2));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->materials[0].triFill, tri_Gouraud);
    EXPECT_EQ(m->needsNormals + m->shadingPass + m->hasGeometry + m->alwaysVisible, 4);
    EXPECT_EQ(m->lighting, 0);
    EXPECT_EQ(m->parentIndex & m->childIndex, -1);
    EXPECT_EQ(m->boxCorners[0][0], 1000000.0f) << "an empty box: +1e6 .. -1e6";
    EXPECT_EQ(m->boxCorners[6][2], -1000000.0f);
    EXPECT_EQ((uintptr_t)m->vertices % 16, 0u);
    for (int i = 0; i < 3; i++) {
        uint32_t firstWord;
        memcpy(&firstWord, &m->vertices[i], 4);
        EXPECT_EQ(firstWord, 1u) << i;
        EXPECT_EQ(m->vertices[i].colour, 0x7F7F7F7Fu);
        EXPECT_EQ(m->vertices[i].material, &m->materials[0]);
    }
    for (int f = 0; f < 2; f++) {
        const Face &face = m->faces[f];
        EXPECT_TRUE(face.a == &m->vertices[0] && face.b == face.a && face.c == face.a) << f;
        EXPECT_EQ(face.edges, &face);
        EXPECT_EQ(face.colour, 0x7F7F7F7Fu);
    }

    // Faces need a vertex to start on; points alone are a mesh (the star clouds).
    for (auto counts : {std::array<int, 2>{0, 5}, std::array<int, 2>{-1, 0}, std::array<int, 2>{3, -2}}) {
        Object *o = nullptr;
        std::string out = captured([&] { o = obj_Create(counts[0], counts[1]); });
        EXPECT_EQ(o, nullptr) << counts[0] << ", " << counts[1];
        EXPECT_TRUE(isTaggedLine(out, "obj_Create")) << out;
    }
    ObjectPtr cloud(obj_Create(1024, 0));
    ASSERT_TRUE(cloud);
    EXPECT_TRUE(cloud->faces == nullptr && cloud->faceList != nullptr);
}

TEST(ObjCreate, DummyCameraAndLight)
{
    ObjectPtr dummy(obj_CreateDummy());
    EXPECT_EQ(dummy->materials[0].triFill, nullptr) << "mode 8 fills nothing";
    EXPECT_EQ(dummy->needsNormals + dummy->shadingPass, 0);
    EXPECT_EQ(dummy->vertices, nullptr);
    EXPECT_EQ(dummy->boxCorners[0][0], -1.0f);
    EXPECT_EQ(dummy->boxCorners[6][1], 1.0f);

    ObjectPtr camera(obj_CreateCamera());
    EXPECT_EQ(camera->type, OBJ_CAMERA);
    EXPECT_EQ(camera->focalLength, 128.0f);
    EXPECT_EQ(camera->scale[2], 1.0f);

    ObjectPtr light(obj_CreateLight());
    EXPECT_EQ(light->type, OBJ_LIGHT);
    EXPECT_EQ(light->range, 2000.0f);
    EXPECT_EQ(light->lighting, 1);
    // min(255, (1 - i * 0.0005) * 1.3 * 255): 331.5 at 0, under 255 from 462 on.
    const std::pair<int, int> falloff[] = {{0, 255}, {461, 255}, {462, 254}, {1000, 165}, {1999, 0}};
    for (auto [i, level] : falloff)
        EXPECT_EQ(light->falloff[i], level) << i;
    EXPECT_EQ(light->lightLevels[0] & light->lightLevels[5], 255);
}

TEST(ObjProperties, WriteMaterialZeroOnly)
{
    ObjectPtr o = makeMesh({{0, 0, 0}}, {});
    Texture texture{};
    obj_SetProperty(o.get(), PROP_COLOUR, 0xFFFFFFFF);
    EXPECT_EQ(o->materials[0].red + o->materials[0].green + o->materials[0].blue, 3 * 255);
    obj_SetProperty(o.get(), PROP_COLOUR2, 0x00123456);
    EXPECT_EQ(o->materials[0].red2 << 16 | o->materials[0].green2 << 8 | o->materials[0].blue2, 0x123456);
    obj_SetProperty(o.get(), PROP_TEXTURE, (uintptr_t)&texture);
    EXPECT_EQ(o->materials[0].texture, &texture);
    obj_SetProperty(o.get(), PROP_DOUBLE_SIDED, 0x101);
    EXPECT_EQ(o->materials[0].doubleSided, 1) << "low byte";

    // Mode 10 is no mode of its own: the default flat fill with the full clipper.
    obj_SetProperty(o.get(), PROP_MODE, 10);
    EXPECT_EQ(o->materials[0].mode, 10);
    EXPECT_EQ(o->materials[0].clipFill, clipPolyFull);
    EXPECT_EQ(o->materials[0].triFill, tri_Flat);
    obj_SetProperty(o.get(), PROP_MODE, MODE_TEXTURED);
    EXPECT_EQ(o->materials[0].triFill, tri_Textured);

    Material before = o->materials[0];
    for (int property : {3, 7, 8, 0, 99})
        obj_SetProperty(o.get(), property, 0xFFFFFFFF);
    EXPECT_EQ(memcmp(&before, &o->materials[0], sizeof before), 0);
    for (int i = 1; i < OBJ_MATERIALS; i++)
        EXPECT_EQ(o->materials[i].mode, 0) << i;
}

TEST(ObjProperties, UpdateFlagsReadsAllFourMaterials)
{
    struct Case {
        const char *what;
        uint8_t modes[4], doubleSided[4];
        int faces;
        int singleSided, needsNormals, faceColours, vertexColours;
    } cases[] = {
        {"gouraud, all double", {3, 3, 3, 3}, {1, 1, 1, 1}, 1, 0, 0, 0, 1},
        {"flat on material 2", {0, 0, 4, 0}, {1, 1, 1, 1}, 1, 0, 1, 1, 0},
        {"edges and gouraud", {12, 3, 0, 0}, {1, 1, 1, 0}, 1, 1, 1, 1, 1},
        {"no faces", {4, 3, 12, 0}, {0, 0, 0, 0}, 0, 1, 0, 0, 0},
    };
    for (const Case &c : cases) {
        ObjectPtr o = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
        o->faceCount = c.faces;
        o->needsNormals = 0;
        o->vertexColours = o->faceColours = 1; // stale flags from an earlier set-up
        for (int i = 0; i < 4; i++) {
            o->materials[i].mode = c.modes[i];
            o->materials[i].doubleSided = c.doubleSided[i];
        }
        obj_UpdateFlags(o.get());
        EXPECT_EQ(o->hasSingleSided, c.singleSided) << c.what;
        EXPECT_EQ(o->needsNormals, c.needsNormals) << c.what;
        EXPECT_EQ(o->faceColours, c.faceColours) << c.what;
        EXPECT_EQ(o->vertexColours, c.vertexColours) << c.what;
        for (const Material &m : o->materials)
            EXPECT_EQ(m.owner, o.get()) << c.what;
    }
}

// ---------------------------------------------------------------------------
// Geometry utilities
// ---------------------------------------------------------------------------

TEST(ObjGeometry, CenterMovesByTheTruncatedMidpoint)
{
    struct Case {
        int32_t lo, hi, shift;
    } cases[] = {{-10, 30, -10}, {-3, 4, 0}, {-4, -1, 2}, {20000, 20010, -20005}};
    for (const Case &c : cases) {
        ObjectPtr o = makeMesh({{c.lo, 5, 5}, {c.hi, 5, 7}, {(c.lo + c.hi) / 2, 5, 6}}, {});
        obj_Center(o.get());
        EXPECT_EQ(o->vertices[0].x, c.lo + c.shift) << c.lo << ".." << c.hi;
        EXPECT_EQ(o->vertices[1].x, c.hi + c.shift) << c.lo << ".." << c.hi;
        EXPECT_EQ(position(*o, 2)[1], 0);
        EXPECT_EQ(position(*o, 2)[2], 0);
        // The box keeps the extent from before the move.
        EXPECT_EQ(o->boxMin[0], c.lo);
        EXPECT_EQ(o->boxMax[0], c.hi);
        EXPECT_EQ(o->boxCorners[1][0], (float)c.hi);
    }
}

TEST(ObjGeometry, ScaleRadiusAndBoxCorners)
{
    ObjectPtr o = makeMesh({{3, 4, 12}, {-1, 2, 0}}, {});
    EXPECT_FLOAT_EQ(obj_GetRadius(o.get()), 13.0f);
    o->boxMin[0] = -1, o->boxMin[1] = 2, o->boxMin[2] = 0;
    o->boxMax[0] = 3, o->boxMax[1] = 4, o->boxMax[2] = 12;
    obj_BoxCorners(o.get());
    const float expected[8][3] = {{-1, 2, 0}, {3, 2, 0}, {3, 4, 0}, {-1, 4, 0},
                                  {-1, 2, 12}, {3, 2, 12}, {3, 4, 12}, {-1, 4, 12}};
    for (int i = 0; i < 8; i++)
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(o->boxCorners[i][k], expected[i][k]) << i << "." << k;

    obj_Scale(o.get(), 2.5, 0.5, -1.0);
    EXPECT_EQ(position(*o, 0), (std::array<int32_t, 3>{7, 2, -12}));  // 7.5 and -12 truncated
    EXPECT_EQ(position(*o, 1), (std::array<int32_t, 3>{-2, 1, 0}));   // -2.5 -> -2
    EXPECT_EQ(o->boxMin[0], -2);
    EXPECT_EQ(o->boxMax[0], 7);
    EXPECT_EQ(o->boxMin[2], -12) << "a mirrored box keeps min below max";
    EXPECT_EQ(o->boxMax[2], 0);
    EXPECT_EQ(o->boxCorners[6][0], 7.0f);

    ObjectPtr empty = makeMesh({}, {});
    EXPECT_EQ(obj_GetRadius(empty.get()), 0.0f);
    obj_Center(empty.get()); // nothing to move
    EXPECT_EQ(empty->boxMin[0], 1000000);
}

TEST(ObjGeometry, RotateAboutAnAxis)
{
    struct Case {
        std::array<float, 3> v, axis;
        float degrees;
        std::array<float, 3> expected;
    } cases[] = {
        {{1, 0, 0}, {0, 1, 0}, 90, {0, 0, -1}},
        {{1, 0, 0}, {0, 0, 1}, 90, {0, 1, 0}},
        {{0, 2, 0}, {1, 0, 0}, 180, {0, -2, 0}},
        {{1, 1, 1}, {0.57735027f, 0.57735027f, 0.57735027f}, 77, {1, 1, 1}},
        {{1, 0, 0}, {0.57735027f, 0.57735027f, 0.57735027f}, 120, {0, 1, 0}},
        {{0.5f, -300, 0.2f}, {0, 1, 0}, 30, {0.5330127f, -300, -0.0767949f}},
    };
    for (const Case &c : cases) {
        float v[3] = {c.v[0], c.v[1], c.v[2]};
        vec_RotateAxis(v, c.axis.data(), c.degrees);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(v[k], c.expected[k], 2e-5f) << c.degrees << " deg, component " << k;
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

// ---------------------------------------------------------------------------
// Object files
// ---------------------------------------------------------------------------

TEST(ObjParse, TextureCoordinatesScaleAndFaceNormalsOnly)
{
    // flags 4: vertex (1, -2, 0.5) with (0.5, 1.0) read at scale 1000.
    std::vector<uint8_t> image = encode({1.0f, -2.0f, 0.5f, 1.0f, -1.0f, 0.5f, 2.0f, -2.0f, 0.5f}, {0, 1, 2, 2},
                                        OBJ_FLAG_TEXCOORDS, {}, {0.5f, 1.0f, 0.0f, 0.25f, -1.0f, 0.0f});
    std::string out;
    ObjectPtr o = parse(image, 1000.0, &out);
    ASSERT_TRUE(o) << out;
    EXPECT_EQ(out, "faces:1, verts:3\n1000,-2000,500 - 2000,-1000,500\n");
    EXPECT_EQ(position(*o, 0), (std::array<int32_t, 3>{1000, -2000, 500}));
    EXPECT_EQ(o->vertices[0].u, 128);
    EXPECT_EQ(o->vertices[0].v, 256);
    EXPECT_EQ(o->vertices[2].u, -256);
    EXPECT_EQ(vertexNormal(*o, 0), (std::array<int, 3>{0, 0, 0}));
    // (R - P) x (Q - P) = (1000, 0, 0) x (0, 1000, 0): +z.
    EXPECT_EQ(faceNormal(*o, 0), (std::array<int, 3>{0, 0, 125}));
    EXPECT_EQ(o->faces[0].material, &o->materials[2]) << "surface 2 is material 2";
    EXPECT_EQ(o->faces[0].edges, &o->faces[0]);
    EXPECT_EQ(o->lighting, 7);
    EXPECT_EQ(o->materials[0].mode, MODE_GOURAUD);
    EXPECT_EQ(o->alwaysVisible, 1);
    EXPECT_EQ(o->boxCorners[7][0], 1000.0f);
    EXPECT_EQ(o->boxCorners[7][1], -1000.0f);
}

TEST(ObjParse, NormalBlockIsBigEndianAndTexturesFollowIt)
{
    std::vector<uint8_t> image = encode({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2, 0},
                                        OBJ_FLAG_NORMALS | OBJ_FLAG_TEXCOORDS,
                                        {0.0f, 125.9f, -125.9f, 1e9f, -1e9f, NAN, 3, 2, 1},
                                        {0.25f, 0.5f, 0, 0, 1, 1});
    ObjectPtr o = parse(image, 100.0);
    ASSERT_TRUE(o);
    EXPECT_EQ(vertexNormal(*o, 0), (std::array<int, 3>{0, 125, -125}));
    EXPECT_EQ(vertexNormal(*o, 1), (std::array<int, 3>{32767, -32768, 0})) << "out of range saturates, NaN is 0";
    EXPECT_EQ(vertexNormal(*o, 2), (std::array<int, 3>{3, 2, 1}));
    EXPECT_EQ(o->vertices[0].u, 64);
    EXPECT_EQ(o->vertices[0].v, 128);
    EXPECT_EQ(o->vertices[2].v, 256);
    EXPECT_EQ(position(*o, 1), (std::array<int32_t, 3>{100, 0, 0}));
}

TEST(ObjParse, RefusesCountsBlocksAndIndicesBeyondTheImage)
{
    const std::vector<uint8_t> good =
        encode({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2, 0}, OBJ_FLAG_NORMALS | OBJ_FLAG_TEXCOORDS,
               std::vector<float>(9, 1.0f), std::vector<float>(6, 0.5f));
    // Every cut that loses a byte of the announced blocks (the end word is optional).
    for (size_t size = 0; size + 4 < good.size(); size++) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + size);
        std::string out;
        EXPECT_FALSE(parse(cut, 1000.0, &out)) << size;
        EXPECT_TRUE(isTaggedLine(out, "parseImage")) << size << ": " << out;
    }
    EXPECT_TRUE(parse({good.begin(), good.end() - 4}, 1000.0));

    struct Case {
        const char *what;
        size_t at;
        std::vector<uint8_t> bytes;
        const char *message;
    } cases[] = {
        {"vertex count", 8, {0x10, 0, 0, 0}, "268435456 vertices run past"},
        {"vertex count wrapping 12 V", 8, {0x15, 0x55, 0x55, 0x56}, "vertices run past"},
        {"face count", 48, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295 faces run past"},
        {"corner = vertex count", 52, {0, 3}, "face 0 (3, 1, 2) points past its 3 vertices"},
        {"corner 65535", 56, {0xFF, 0xFF}, "points past"},
        {"surface 4", 58, {0, 4}, "face 0 has surface 4"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bad = good;
        std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + c.at);
        std::string out;
        EXPECT_FALSE(parse(bad, 1000.0, &out)) << c.what;
        EXPECT_TRUE(isTaggedLine(out, "parseImage")) << c.what << ": " << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
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
    std::string out = captured([] { EXPECT_EQ(objParse(nullptr, 100, 1.0), nullptr); });
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
    for (int round = 0; round < 3000; round++) {
        std::vector<uint8_t> image = seeds[round % seeds.size()];
        if (random() % 3 == 0)
            image.resize(random() % (image.size() + 1));
        for (int flips = random() % 4; flips >= 0 && !image.empty(); flips--)
            image[random() % image.size()] ^= (uint8_t)(1u << (random() % 8));
        // A copy of exactly this size, so that any read past it is caught.
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
    EXPECT_GT(objects, 300);
    EXPECT_GT(refusals, 300);
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
    static std::string copyOf(const std::string &path)
    {
        std::string bytes = readFile(path);
        EXPECT_FALSE(bytes.empty()) << path << " is missing: install Debian's assimp-testmodels";
        return bytes;
    }
    TempDir dir;
};

TEST_F(ObjFiles, SaveWritesTheFormatAndLoadTruncatesAUnitAway)
{
    ObjectPtr o = makeMesh({{2352, -2352, 1000}, {0, 123456, -7}, {1, -1, 999}, {500, 500, 500}},
                           {{0, 1, 2}, {2, 1, 3}});
    o->faces[1].material = &o->materials[2];
    ASSERT_EQ(objSave(o.get(), "lwobj/saved.lob"), 1);
    std::string file = assetBytes("lwobj/saved.lob");
    ASSERT_EQ(file.size(), 20u + 12 * 4 + 8 * 2);
    std::string head = file.substr(0, 16), faces = file.substr(60);
    EXPECT_EQ(head, std::string("\0\0\0\0\0\0\0\0\0\0\0\x04\x40\x16\x87\x2B", 16)) << "flags 0, 4 vertices, 2.352f";
    EXPECT_EQ(faces, std::string("\0\0\0\x02\0\0\0\x01\0\x02\0\0\0\x02\0\x01\0\x03\0\0\0\0\0\0", 24))
        << "corner indices, surface 0, end word";

    ObjectPtr back;
    std::string out = captured([&] { back.reset(objLoad("lwobj/saved.lob", 1000.0)); });
    ASSERT_TRUE(back) << out;
    EXPECT_STREQ(back->name, "saved.lob");
    // 2352 is stored as 2.3519999... and reads back one unit short; the rest hold.
    EXPECT_EQ(position(*back, 0), (std::array<int32_t, 3>{2351, -2351, 1000}));
    EXPECT_EQ(position(*back, 1), (std::array<int32_t, 3>{0, 123456, -7}));
    EXPECT_EQ(position(*back, 2), (std::array<int32_t, 3>{1, -1, 999}));
    EXPECT_EQ(back->faces[1].material, &back->materials[0]) << "saved faces all sit on surface 0";
    EXPECT_EQ(back->faces[1].a, &back->vertices[2]);
    EXPECT_NE(vertexNormal(*back, 0), (std::array<int, 3>{0, 0, 0})) << "flags 0: normals recomputed";
}

TEST_F(ObjFiles, SaveReplacesWhollyAndRefusesWhatItCannotWrite)
{
    asset("lwobj/old.lob", std::string(5000, 'x'));
    ObjectPtr o = makeMesh({{1000, 0, 0}, {0, 1000, 0}, {0, 0, 1000}}, {{0, 1, 2}});
    ASSERT_EQ(objSave(o.get(), "lwobj/old.lob"), 1);
    EXPECT_EQ(assetBytes("lwobj/old.lob").size(), 20u + 36 + 8);
    EXPECT_EQ(listDir(dir / "assets/lwobj"), std::vector<std::string>{"old.lob"}) << "no temporary left";

    std::string out = captured([&] { EXPECT_EQ(objSave(o.get(), "nodir/x.lob"), 0); });
    EXPECT_TRUE(isTaggedLine(out, "dataSaveFile")) << out;
    EXPECT_NE(out.find("]\"Could not open file for writing:<assets/nodir/x.lob>\\n\"\n"), std::string::npos) << out;

    Vertex stray{};
    o->faces[0].b = &stray;
    out = captured([&] { EXPECT_EQ(objSave(o.get(), "lwobj/stray.lob"), 0); });
    EXPECT_TRUE(isTaggedLine(out, "objSave")) << out;
    out = captured([] { EXPECT_EQ(objSave(nullptr, "lwobj/none.lob"), 0); });
    EXPECT_TRUE(isTaggedLine(out, "objSave")) << out;
    EXPECT_EQ(listDir(dir / "assets/lwobj"), std::vector<std::string>{"old.lob"});
}

TEST_F(ObjFiles, LoadFindsTheWorkingDirectoryAndReportsMissingFiles)
{
    std::string cube, error;
    ASSERT_TRUE(meshEncodeObject(meshCube(), &cube, &error)) << error;
    ASSERT_TRUE(makeDirs(dir / "lwobj"));
    ASSERT_TRUE(writeFile(dir / "lwobj/simplecube.lobj", cube)); // beside assets/, not in it
    ObjectPtr o;
    std::string out = captured([&] { o.reset(objLoad("lwobj/simplecube.lobj", 100.0)); });
    ASSERT_TRUE(o) << out;
    EXPECT_EQ(out.substr(out.find("faces:")), "faces:12, verts:8\n-100,-100,-100 - 100,100,100\n");
    EXPECT_EQ(o->vertexCount, 8);
    EXPECT_EQ(obj_GetRadius(o.get()), std::sqrt(30000.0f));
    for (int f = 0; f < 12; f++) {
        std::array<int, 3> n = faceNormal(*o, f);
        EXPECT_EQ(std::abs(n[0]) + std::abs(n[1]) + std::abs(n[2]), 125) << "cube face " << f << " is axis-aligned";
    }

    out = captured([&] { o.reset(objLoad("lwobj/nothing.lobj", 1000.0)); });
    EXPECT_EQ(o, nullptr);
    EXPECT_NE(out.find("Object file lwobj/nothing.lobj not found\n"), std::string::npos) << out;

    asset("lwobj/cut.lobj", cube.substr(0, 40));
    out = captured([&] { o.reset(objLoad("lwobj/cut.lobj", 1000.0)); });
    EXPECT_EQ(o, nullptr);
    EXPECT_TRUE(isTaggedLine(out, "parseImage")) << out;
    EXPECT_NE(out.find("lwobj/cut.lobj: 8 vertices run past its 40 bytes"), std::string::npos) << out;
}

// ---------------------------------------------------------------------------
// LightWave import
// ---------------------------------------------------------------------------

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
        {"LWO2/Subdivision.lwo", 26, 48, "-949,0,-649 - 899,1549,1149"},
        {"LXOB_Modo/sphereWithVertMap.lxo", 266, 528, "-2150,-2099,-2500 - 2150,2099,2599"},
    };
    for (const Case &c : cases) {
        // Named as a Wavefront file: Assimp would choose by the name.
        asset("lwobj/model.obj", copyOf(std::string(MODELS) + c.file));
        ObjectPtr o;
        std::string out = captured([&] { o.reset(objImport("lwobj/model.obj")); });
        ASSERT_TRUE(o) << c.file << ": " << out;
        EXPECT_EQ(o->vertexCount, c.vertices) << c.file;
        EXPECT_EQ(o->faceCount, c.faces) << c.file;
        char line[128];
        snprintf(line, sizeof line, "V:%d F:%d %s\n", c.vertices, c.faces, c.box);
        EXPECT_NE(out.find(line), std::string::npos) << c.file << ": " << out;
        EXPECT_EQ(o->lighting, 7) << c.file;
        EXPECT_EQ(o->alwaysVisible, 1) << c.file;
        EXPECT_EQ(o->vertices[0].colour, 0x7F7F7F7Fu) << c.file;
        for (int f = 0; f < o->faceCount; f++) {
            EXPECT_GE(obj_VertexIndex(o.get(), o->faces[f].a), 0);
            EXPECT_EQ(o->faces[f].material, &o->materials[0]);
        }
    }
}

TEST_F(ObjFiles, ImportedBoxIsAClosedCubeFacingOutward)
{
    asset("lwobj/box.lwo", copyOf(MODELS "LWO2/boxuv.lwo"));
    ObjectPtr o;
    captured([&] { o.reset(objImport("lwobj/box.lwo")); });
    ASSERT_TRUE(o);
    for (int v = 0; v < 8; v++)
        for (int32_t c : position(*o, v))
            EXPECT_EQ(std::abs(c), 500) << v;
    for (int f = 0; f < 12; f++) {
        // Each face normal is axis-aligned and points away from the centre.
        std::array<int, 3> n = faceNormal(*o, f);
        const Face &face = o->faces[f];
        int64_t outward = (int64_t)n[0] * (face.a->x + face.b->x + face.c->x) +
                          (int64_t)n[1] * (face.a->y + face.b->y + face.c->y) +
                          (int64_t)n[2] * (face.a->z + face.b->z + face.c->z);
        EXPECT_EQ(std::abs(n[0]) + std::abs(n[1]) + std::abs(n[2]), 125) << f;
        EXPECT_LT(outward, 0) << "face " << f << ": (R - P) x (Q - P) points inward for outward-wound faces";
    }
}

TEST_F(ObjFiles, ImportTakesVertexColours)
{
    asset("lwobj/colours.lwo", copyOf(MODELS "LWO2/box_2vc_1unused.lwo"));
    ObjectPtr o;
    captured([&] { o.reset(objImport("lwobj/colours.lwo")); });
    ASSERT_TRUE(o);
    EXPECT_EQ(o->vertexCount, 218);
    int coloured = 0;
    for (int v = 0; v < o->vertexCount; v++) {
        EXPECT_EQ(o->vertices[v].colour, o->vertices[v].baseColour) << v;
        EXPECT_EQ(o->vertices[v].colour >> 24, 0u) << v;
        coloured += o->vertices[v].colour != 0x7F7F7F7F;
    }
    EXPECT_EQ(coloured, 218);
}

TEST_F(ObjFiles, ImportsTheProductionsOwnFiles)
{
    std::vector<MeshFile> files;
    std::string error;
    ASSERT_TRUE(meshObjectFiles(&files, &error)) << error;
    for (const MeshFile &f : files)
        asset(f.name, f.bytes);

    ObjectPtr elude;
    std::string out = captured([&] { elude.reset(objImport("lwobj/elude.obj")); });
    ASSERT_TRUE(elude) << out;
    Mesh mesh = meshElude();
    EXPECT_EQ(elude->vertexCount, (int)mesh.vertexCount());
    EXPECT_EQ(elude->faceCount, (int)mesh.faceCount());
    // The importer undoes the file's mirror image: the engine sees the mesh as built.
    std::multiset<std::array<int32_t, 3>> got, built;
    for (int v = 0; v < elude->vertexCount; v++)
        got.insert(position(*elude, v));
    for (size_t i = 0; i < mesh.xyz.size(); i += 3)
        built.insert({(int32_t)(mesh.xyz[i] * 1000.0), (int32_t)(mesh.xyz[i + 1] * 1000.0),
                      (int32_t)(mesh.xyz[i + 2] * 1000.0)});
    EXPECT_TRUE(got == built);

    // One-point polygons come back as point faces: one vertex three times.
    ObjectPtr cloud;
    out = captured([&] { cloud.reset(objImport("lwobj/particle_test1.lwo")); });
    ASSERT_TRUE(cloud) << out;
    EXPECT_EQ(cloud->vertexCount, (int)meshParticles().vertexCount());
    EXPECT_EQ(cloud->faceCount, cloud->vertexCount);
    for (int f = 0; f < cloud->faceCount; f++) {
        const Face &face = cloud->faces[f];
        ASSERT_TRUE(face.a == face.b && face.b == face.c) << f;
        ASSERT_GE(obj_VertexIndex(cloud.get(), face.a), 0) << f;
        ASSERT_EQ(face.nx | face.ny | face.nz, 0) << f;
    }
}

TEST_F(ObjFiles, ImportRefusesForeignCutAndOldFiles)
{
    std::string box = copyOf(MODELS "LWO2/boxuv.lwo");
    asset("lwobj/cut.lwo", box.substr(0, box.size() / 2));
    asset("lwobj/wavefront.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    asset("lwobj/aiff.lwo", "FORMxxxxAIFFCOMM");
    asset("lwobj/empty.lwo", "");
    asset("lwobj/old.lwo", copyOf(MODELS "LWOB/sphere_with_mat_gloss_10pc.lwo"));
    struct Case {
        const char *name, *message;
        bool byAssimp; // refused by Assimp rather than before it
    } cases[] = {
        {"lwobj/cut.lwo", "lwobj/cut.lwo is cut short: 550 of 1100 bytes", false},
        {"lwobj/wavefront.obj", "lwobj/wavefront.obj is not a LightWave object", false},
        {"lwobj/aiff.lwo", "lwobj/aiff.lwo is not a LightWave object", false},
        {"lwobj/empty.lwo", "lwobj/empty.lwo is not a LightWave object", false},
        {"lwobj/missing.lwo", "LightWave file lwobj/missing.lwo not found", false},
        {"lwobj/old.lwo", "lwobj/old.lwo: LWO: Unable to build a valid node graph", true}, // LWOB in this Assimp
    };
    for (const Case &c : cases) {
        Object *o = nullptr;
        std::string out = captured([&] {
            if (c.byAssimp) {
                [[maybe_unused]] AssimpOwnLeak allowed;
                o = objImport(c.name);
            } else {
                o = objImport(c.name);
            }
        });
        EXPECT_EQ(o, nullptr) << c.name;
        obj_Free(o);
        EXPECT_NE(out.find(std::string("[objImport :")), std::string::npos) << c.name << ": " << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.name << ": " << out;
    }
}

TEST_F(ObjFiles, ImportFallsBackToTheWorkingDirectoryNotThePacks)
{
    ASSERT_TRUE(makeDirs(dir / "here"));
    ASSERT_TRUE(writeFile(dir / "here/box.lwo", copyOf(MODELS "LWO2/boxuv.lwo")));
    ObjectPtr o;
    captured([&] { o.reset(objImport("here/box.lwo")); });
    ASSERT_TRUE(o);
    EXPECT_EQ(o->vertexCount, 8);
    // Under the base path wins over the working directory.
    ASSERT_TRUE(makeDirs(dir / "assets/here"));
    asset("here/box.lwo", copyOf(MODELS "LWO2/Subdivision.lwo"));
    captured([&] { o.reset(objImport("here/box.lwo")); });
    ASSERT_TRUE(o);
    EXPECT_EQ(o->vertexCount, 26);
}

TEST_F(ObjFiles, CacheConvertsOnceAndRebuildsARefusedCopy)
{
    asset("lwobj/box.lwo", copyOf(MODELS "LWO2/boxuv.lwo"));
    ObjectPtr first;
    std::string out = captured([&] { first.reset(objLoadCached("lwobj/box.lwo", "lwobj/box.lwo.cached", false)); });
    ASSERT_TRUE(first) << out;
    EXPECT_NE(out.find("V:8 F:12"), std::string::npos) << out;
    std::string cached = assetBytes("lwobj/box.lwo.cached");
    EXPECT_EQ(cached.size(), 20u + 12 * 8 + 8 * 12);

    ObjectPtr second;
    out = captured([&] { second.reset(objLoadCached("lwobj/box.lwo", "lwobj/box.lwo.cached", false)); });
    ASSERT_TRUE(second) << out;
    EXPECT_EQ(out.find("V:"), std::string::npos) << "served from the converted file: " << out;
    EXPECT_EQ(second->faceCount, 12);
    EXPECT_STREQ(second->name, "box.lwo.cached");
    for (int v = 0; v < 8; v++)
        EXPECT_EQ(position(*second, v), position(*first, v)) << v;

    asset("lwobj/box.lwo.cached", cached.substr(0, 30));
    out = captured([&] { second.reset(objLoadCached("lwobj/box.lwo", "lwobj/box.lwo.cached", false)); });
    ASSERT_TRUE(second) << out;
    EXPECT_TRUE(assetBytes("lwobj/box.lwo.cached") == cached) << "the refused copy is rebuilt";

    // A point cloud keeps only its points.
    out = captured([&] { second.reset(objLoadCached("lwobj/box.lwo", "lwobj/box.lwo.lob", true)); });
    ASSERT_TRUE(second);
    EXPECT_EQ(second->faceCount, 0);
    EXPECT_EQ(assetBytes("lwobj/box.lwo.lob").size(), 20u + 12 * 8);

    // Nothing to import: no object and no file.
    Object *none = nullptr;
    captured([&] { none = objLoadCached("lwobj/gone.lwo", "lwobj/gone.lwo.lob", true); });
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(listDir(dir / "assets/lwobj"), (std::vector<std::string>{"box.lwo", "box.lwo.cached", "box.lwo.lob"}));
}
