// Lighting and shading: the fog byte, normals rotated into camera space and
// recomputed from the corners, and each lighting model's face and vertex
// colours at worked values, with normals and lights beyond their usual range.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <memory>

#include "render/light.h"
#include "render/object.h"

namespace {

namespace {
struct ObjectDeleter {
    void operator()(Object *object) const { obj_Free(object); }
};
} // namespace
using ObjectPtr = std::unique_ptr<Object, ObjectDeleter>;

// A mesh of `faces` triangles on vertices 0, 1, 2, every face listed for this
// render, material 0 coloured (200, 100, 50).
ObjectPtr listedMesh(int vertices, int faces)
{
    ObjectPtr mesh(obj_Create(vertices, faces));
    for (int f = 0; f < faces; f++) {
        mesh->faces[f].b = &mesh->vertices[1];
        mesh->faces[f].c = &mesh->vertices[2];
        mesh->faceList[f] = &mesh->faces[f];
    }
    obj_SetProperty(mesh.get(), PROP_COLOUR, 0xC86432);
    return mesh;
}

// R with the given 3 x 3 fixed-point rows (1024 = 1.0).
Matrix rows(const int32_t r[3][3])
{
    Matrix m{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            m.fixed[4 * i + j] = r[i][j];
    m.fixed[15] = 1024;
    return m;
}

const int32_t kIdentity[3][3] = {{1024, 0, 0}, {0, 1024, 0}, {0, 0, 1024}};

// Light colours are module state: every test starts and ends with the defaults.
class LightShade : public testing::Test {
protected:
    void SetUp() override { resetLights(); }
    void TearDown() override { resetLights(); }
    static void resetLights()
    {
        for (int i = 0; i < 3; i++)
            lightA[i] = lightB[i] = 1.0f;
    }
};

} // namespace

TEST(LightFog, FallsLinearlyWithDepth)
{
    EXPECT_EQ(lightA[0], 1.0f) << "light colours start white";
    EXPECT_EQ(lightB[2], 1.0f);
    const struct {
        int32_t cz;
        int fog;
    } cases[] = {
        {0, 255},     {-5000, 255}, {INT32_MIN, 255}, {8, 255},          {8192, 247},
        {261112, 1},  {262136, 0},  {300000, 0},      {INT32_MAX, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(light_FogByte(c.cz), c.fog) << "cz " << c.cz;
}

TEST(LightNormals, RotateIntoCameraSpaceListedFacesOnly)
{
    ObjectPtr mesh = listedMesh(3, 3);
    mesh->faceList[2] = nullptr; // face 2 is not drawn this render
    const int8_t n[3][3] = {{0, 0, 125}, {0, 0, -125}, {0, 0, 125}};
    for (int f = 0; f < 3; f++) {
        mesh->faces[f].nx = n[f][0];
        mesh->faces[f].ny = n[f][1];
        mesh->faces[f].nz = n[f][2];
    }
    const int32_t quarterTurnY[3][3] = {{0, 0, 1024}, {0, 1024, 0}, {-1024, 0, 0}};
    Matrix r = rows(quarterTurnY);
    obj_RotateNormals(mesh.get(), &r);
    EXPECT_EQ(mesh->faces[0].cnx, 125);
    EXPECT_EQ(mesh->faces[0].cnz, 0);
    EXPECT_EQ(mesh->faces[1].cnx, -125);
    EXPECT_EQ(mesh->faces[2].cnx, 0) << "unlisted faces keep their camera normal";

    const int32_t nearlyOne[3][3] = {{1023, 0, 0}, {0, 1023, 0}, {0, 0, 1023}};
    r = rows(nearlyOne);
    obj_RotateNormals(mesh.get(), &r);
    EXPECT_EQ(mesh->faces[0].cnz, 124);
    EXPECT_EQ(mesh->faces[1].cnz, -125) << "the shift floors, it does not truncate";

    const int32_t fourfold[3][3] = {{4096, 0, 0}, {0, 4096, 0}, {0, 0, 4096}};
    r = rows(fourfold);
    obj_RotateNormals(mesh.get(), &r);
    EXPECT_EQ(mesh->faces[0].cnz, 127) << "saturates instead of wrapping";
    EXPECT_EQ(mesh->faces[1].cnz, -128);
}

TEST(LightNormals, RecomputedFromTheCornersAtLength120)
{
    struct Case {
        int32_t c[3], b[3]; // corner a stays at the origin
        int nx, ny, nz;
        const char *what;
    } cases[] = {
        {{100, 0, 0}, {0, 100, 0}, 0, 0, 119, "(c - a) x (b - a) = (0, 0, 10000)"},
        {{0, 100, 0}, {100, 0, 0}, 0, 0, -120, "the other winding (the shift floors)"},
        {{1, 0, 0}, {0, 0, 1}, 0, -120, 0, "a unit face"},
        {{100, 0, 0}, {300, 0, 0}, 0, 0, 0, "collinear corners: the zero normal"},
        {{0, 0, 0}, {0, 0, 0}, 0, 0, 0, "one point"},
        {{10000, 0, 0}, {0, 1000, 0}, 0, 0, 127, "k = 1 lengthens to 152: saturated"},
        {{20000, 0, 0}, {0, 1000, 0}, 0, 0, 0, "k rounds to 0 past 15.7 million"},
        {{INT32_MAX, 0, 0}, {0, INT32_MAX, 0}, 0, 0, 0, "the longest edges from the origin"},
    };
    for (const Case &t : cases) {
        ObjectPtr mesh = listedMesh(3, 1);
        Vertex *v = mesh->vertices;
        v[2].x = t.c[0], v[2].y = t.c[1], v[2].z = t.c[2];
        v[1].x = t.b[0], v[1].y = t.b[1], v[1].z = t.b[2];
        mesh->faces[0].nx = mesh->faces[0].ny = mesh->faces[0].nz = 99;
        obj_RecomputeNormals(mesh.get());
        EXPECT_EQ(mesh->faces[0].nx, t.nx) << t.what;
        EXPECT_EQ(mesh->faces[0].ny, t.ny) << t.what;
        EXPECT_EQ(mesh->faces[0].nz, t.nz) << t.what;
    }

    // Corners so far apart that |n|^2 leaves float range: no normal, no fault.
    ObjectPtr huge = listedMesh(3, 1);
    const int32_t M = INT32_MAX;
    Vertex *h = huge->vertices;
    h[0].x = -M, h[0].y = -M, h[0].z = -M;
    h[2].x = M, h[2].y = -M, h[2].z = M;
    h[1].x = -M, h[1].y = M, h[1].z = M;
    huge->faces[0].nz = 99;
    obj_RecomputeNormals(huge.get());
    EXPECT_EQ(huge->faces[0].nz, 0);
}

TEST_F(LightShade, DefaultFaceModelFollowsTheCameraNormal)
{
    ObjectPtr mesh = listedMesh(3, 4);
    mesh->faceColours = 1;
    mesh->faceList[3] = nullptr;
    mesh->materials[1].red = 10; // face 2's own material
    mesh->faces[2].material = &mesh->materials[1];
    const int8_t cn[3][2] = {{0, -120}, {100, 100}, {-128, -128}};
    for (int f = 0; f < 3; f++) {
        mesh->faces[f].cnx = cn[f][0];
        mesh->faces[f].cnz = cn[f][1];
    }
    obj_Shade(mesh.get(), nullptr); // faces alone need no matrix
    EXPECT_EQ(mesh->faces[0].colour, 0xFFBB5D2Eu) << "s = 240: (200, 100, 50) * 240 >> 8";
    EXPECT_EQ(mesh->faces[1].colour, 0xFFC76331u) << "s = 255";
    EXPECT_EQ(mesh->faces[2].colour, 0xFF090000u) << "s = 255 with material 1";
    EXPECT_EQ(mesh->faces[3].colour, 0x7F7F7F7Fu) << "unlisted";

    mesh->lighting = LIGHT_UNLIT;
    mesh->faces[0].cnz = 0;
    obj_Shade(mesh.get(), nullptr);
    EXPECT_EQ(mesh->faces[0].colour, 0xFFBB5D2Eu) << "lighting 5 leaves colours as they are";
}

TEST_F(LightShade, HeadlightReadsTheRampByTheViewAxis)
{
    ObjectPtr mesh = listedMesh(7, 1);
    mesh->lighting = LIGHT_HEADLIGHT;
    mesh->vertexColours = 1;
    const int32_t column2[3][3] = {{1024, 0, 0}, {0, 1024, 0}, {512, 0, 1024}};
    const struct {
        int16_t n[3];
        uint32_t colour;
        const char *what;
    } cases[] = {
        {{0, 0, 125}, 0xFFB45A2Du, "at the camera: 128000 >> 9 = ramp[250] = 231"},
        {{0, 0, -125}, 0xFFB45A2Du, "away from it: lit alike"},
        {{0, 125, 0}, 0xFF060301u, "side on: ramp[0] = 8"},
        {{251, 0, 0}, 0xFFB45A2Du, "128512 >> 9 = 251, even: 250"},
        {{-251, 0, 0}, 0xFFB95C2Eu, "-251 & ~1 = -252: ramp[252] = 238"},
        {{0, 0, 200}, 0xFFC36130u, "too long: the ramp's last entry, 250"},
        {{0, 0, INT16_MIN}, 0xFFC36130u, "far too long"},
    };
    for (int i = 0; i < 7; i++) {
        mesh->vertices[i].nx = cases[i].n[0];
        mesh->vertices[i].ny = cases[i].n[1];
        mesh->vertices[i].nz = cases[i].n[2];
    }
    Matrix r = rows(column2);
    obj_Shade(mesh.get(), &r);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(mesh->vertices[i].colour, cases[i].colour) << cases[i].what;

    mesh->vertexColours = 0;
    mesh->vertices[0].colour = 1;
    obj_Shade(mesh.get(), &r);
    EXPECT_EQ(mesh->vertices[0].colour, 1u) << "vertex colours only when asked for";
    mesh->vertexColours = 1;
    mesh->lighting = LIGHT_DEFAULT;
    obj_Shade(mesh.get(), &r);
    EXPECT_EQ(mesh->vertices[0].colour, 1u) << "other models leave vertices alone";
}

TEST_F(LightShade, BaseFogAddsTwoAxisLightsAndDepth)
{
    ObjectPtr mesh = listedMesh(3, 2);
    mesh->lighting = LIGHT_BASE_FOG;
    mesh->vertexColours = 1;
    mesh->faceColours = 1;
    for (int i = 0; i < OBJ_SHADE_RAMP; i++)
        mesh->shadeRamp[i] = (uint8_t)(255 - i);
    lightA[0] = 1.0f, lightA[1] = 0.5f, lightA[2] = -1.0f;
    lightB[0] = 0.25f, lightB[1] = 1.0f, lightB[2] = 0.0f;

    Vertex *v = mesh->vertices;
    v[0].nx = -100, v[0].ny = -50, v[0].cz = 8192, v[0].baseColour = 0x10203040;
    v[1].nx = -125, v[1].ny = -125, v[1].cz = 262136, v[1].baseColour = 0x01000000; // far: fog 0
    v[2].nx = -1, v[2].cz = 0;
    Face *f = mesh->faces;
    f[0].baseRed = 20, f[0].baseGreen = 50, f[0].baseBlue = 200, f[0].nx = -100, f[0].ny = -120;
    f[1] = f[0];
    f[1].nx = 100, f[1].ny = 100, f[1].a = &v[1];
    Matrix r = rows(kIdentity);

    obj_Shade(mesh.get(), &r);
    // R = (25500 + 3150) >> 7 = 223, G = (12700 + 12750) >> 7 = 198, B = 0;
    // fog 247; added to the base byte by byte, alpha saturating.
    EXPECT_EQ(v[0].colour, 0xFFFFF640u);
    EXPECT_EQ(v[1].colour, 0x01FFFF00u) << "31875 + 7875 and 15875 + 31875 are held at 32767";
    // Indices 24480 >> 7 = 191, 23040 >> 7 = 180 and 39680 held at 32767 >> 7 =
    // 255 through the reversed ramp, faded by corner a's fog; facing away from
    // both terms leaves the base: 20, 50, 200.
    EXPECT_EQ(f[0].colour, 0xF7404B00u);
    EXPECT_EQ(f[1].colour, 0x00EBCD37u);

    lightA[0] = std::numeric_limits<float>::quiet_NaN();
    lightB[1] = std::numeric_limits<float>::infinity();
    obj_Shade(mesh.get(), &r);
    EXPECT_EQ(v[2].colour, 0xFFFF0000u) << "lights that fit no integer saturate";
}
