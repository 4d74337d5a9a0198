// Lighting and shading: the fog byte, normals rotated into camera space and
// recomputed from the corners, and one worked value of each lighting model
// (the effects' golden frames cover the rest), with normals and lights beyond
// their usual range.

#include "render/light.h"
#include "testutil.h"

namespace {

// A mesh of `faces` triangles on vertices 0, 1, 2, every face listed for this
// render, material 0 coloured (200, 100, 50).
ObjectPtr listedMesh(int vertices, int faces)
{
    ObjectPtr mesh(meshOf(std::vector<std::array<int32_t, 3>>(vertices), std::vector<std::array<int, 3>>(faces, {0, 1, 2})));
    for (int f = 0; f < faces; f++)
        mesh->faceList[f] = &mesh->faces[f];
    obj_SetProperty(mesh.get(), PROP_COLOUR, 0xC86432);
    return mesh;
}

// R with the given 3 x 3 fixed-point rows (1024 = 1.0).
Matrix matrix(std::array<int32_t, 9> rows)
{
    Matrix m{};
    for (int i = 0; i < 9; i++)
        m.fixed[i / 3 * 4 + i % 3] = rows[i];
    m.fixed[15] = 1024;
    return m;
}
Matrix diagonal(int32_t d) { return matrix({d, 0, 0, 0, d, 0, 0, 0, d}); }

// A scene's lights; the tests that need other colours set them.
Lighting lighting = {{1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}};

} // namespace

TEST(LightNormals, RotateIntoCameraSpaceListedFacesOnlyFlooringAndSaturating)
{
    ObjectPtr mesh = listedMesh(3, 3);
    mesh->faceList[2] = nullptr; // face 2 is not drawn this render
    mesh->faces[0].nz = mesh->faces[2].nz = 125, mesh->faces[1].nz = -125;
    // A quarter turn about y; then 1023 / 1024 (the shift floors, it does not
    // truncate); then four times too long (saturating instead of wrapping).
    const std::tuple<const char *, Matrix, std::array<int, 4>> cases[] = { // camera x and z of faces 0 and 1
        {"quarter turn", matrix({0, 0, 1024, 0, 1024, 0, -1024, 0, 0}), {125, 0, -125, 0}},
        {"1023 / 1024", diagonal(1023), {0, 124, 0, -125}}, {"four times", diagonal(4096), {0, 127, 0, -128}}};
    for (const auto &[what, r, n] : cases) {
        obj_RotateNormals(mesh.get(), &r);
        const Face *f = mesh->faces;
        EXPECT_EQ((std::array<int, 4>{f[0].cnx, f[0].cnz, f[1].cnx, f[1].cnz}), n) << what;
        EXPECT_EQ((std::array<int, 2>{f[2].cnx, f[2].cnz}), (std::array<int, 2>{})) << what << " (face 2 is unlisted)";
    }
}

TEST(LightNormals, RecomputedFromTheCornersAtLength120)
{
    const int32_t M = INT32_MAX;
    const int32_t cases[][12] = {
        // Corners a, b, c; the normal from (c - a) x (b - a), at length 120.
        {0, 0, 0, 0, 100, 0, 100, 0, 0, 0, 0, 119},       // (0, 0, 10000)
        {0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0, -120},      // the other winding: the shift floors
        {0, 0, 0, 300, 0, 0, 100, 0, 0, 0, 0, 0},         // collinear corners: the zero normal
        {0, 0, 0, 0, 1000, 0, 10000, 0, 0, 0, 0, 127},    // k = 1 lengthens to 152: saturated
        {0, 0, 0, 0, 1000, 0, 20000, 0, 0, 0, 0, 0},      // k rounds to 0 past 15.7 million
        {0, 0, 0, 0, M, 0, M, 0, 0, 0, 0, 0},             // the longest edges from the origin
        {-M, -M, -M, -M, M, M, M, -M, M, 0, 0, 0},        // |n|^2 leaves float range: no normal, no fault
    };
    for (const auto &t : cases) {
        ObjectPtr mesh = listedMesh(3, 1);
        for (int k = 0; k < 3; k++)
            mesh->vertices[k].x = t[3 * k], mesh->vertices[k].y = t[3 * k + 1], mesh->vertices[k].z = t[3 * k + 2];
        mesh->faces[0].nx = mesh->faces[0].ny = mesh->faces[0].nz = 99, obj_RecomputeNormals(mesh.get());
        const Face &f = mesh->faces[0];
        EXPECT_EQ((std::array<int, 3>{f.nx, f.ny, f.nz}), (std::array<int, 3>{t[9], t[10], t[11]}))
            << "case " << &t - cases;
    }
}

TEST(LightShade, DefaultFaceModelAndHeadlightRamp)
{
    ObjectPtr mesh = listedMesh(3, 4);
    mesh->faceColours = 1, mesh->faceList[3] = nullptr;
    mesh->materials[1].red = 10, mesh->faces[2].material = &mesh->materials[1]; // face 2's own material
    Face *f = mesh->faces;
    f[0].cnz = -120, f[1].cnx = f[1].cnz = 100, f[2].cnx = f[2].cnz = -128;
    obj_Shade(mesh.get(), nullptr, &lighting); // faces alone need no matrix
    // s = 240: (200, 100, 50) * 240 >> 8; s = 255; s = 255 with material 1; unlisted.
    EXPECT_EQ((std::vector<uint32_t>{f[0].colour, f[1].colour, f[2].colour, f[3].colour}),
              (std::vector<uint32_t>{0xFFBB5D2Eu, 0xFFC76331u, 0xFF090000u, 0x7F7F7F7Fu}));
    mesh->lighting = LIGHT_UNLIT, mesh->faces[0].cnz = 0;
    obj_Shade(mesh.get(), nullptr, &lighting);
    EXPECT_EQ(mesh->faces[0].colour, 0xFFBB5D2Eu) << "lighting 5 leaves colours as they are";

    // The headlight reads the ramp by the view axis, R's third column.
    ObjectPtr lit = listedMesh(4, 1);
    lit->lighting = LIGHT_HEADLIGHT, lit->vertexColours = 1;
    // Normal and colour: at the camera, 128000 >> 9 = ramp[250] = 231; away
    // from it, lit alike; side on, ramp[0] = 8; far too long: the ramp's last
    // entry, 250.
    const int64_t cases[][4] = {{0, 0, 125, 0xFFB45A2D}, {0, 0, -125, 0xFFB45A2D}, {0, 125, 0, 0xFF060301},
                                {0, 0, INT16_MIN, 0xFFC36130}};
    for (int i = 0; i < 4; i++)
        lit->vertices[i].nx = (int16_t)cases[i][0], lit->vertices[i].ny = (int16_t)cases[i][1],
        lit->vertices[i].nz = (int16_t)cases[i][2];
    Matrix r = matrix({1024, 0, 0, 0, 1024, 0, 512, 0, 1024});
    obj_Shade(lit.get(), &r, &lighting);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(lit->vertices[i].colour, (uint32_t)cases[i][3]) << i;
    // Vertex colours only when asked for; other models leave vertices alone.
    lit->vertices[0].colour = 1;
    for (auto [vertexColours, model] : {std::pair<int, int>{0, LIGHT_HEADLIGHT}, {1, LIGHT_DEFAULT}})
        lit->vertexColours = vertexColours, lit->lighting = model, obj_Shade(lit.get(), &r, &lighting);
    EXPECT_EQ(lit->vertices[0].colour, 1u);
}

TEST(LightShade, BaseFogAddsTwoAxisLightsAndFadesLinearlyWithDepth)
{
    const int32_t fog[][2] = {{INT32_MIN, 255}, {8, 255}, {8192, 247}, {261112, 1}, {262136, 0}, {INT32_MAX, 0}}; // depth, fog byte
    for (const auto &c : fog)
        EXPECT_EQ(light_FogByte(c[0]), c[1]) << "cz " << c[0];
    ObjectPtr mesh = listedMesh(3, 2);
    mesh->lighting = LIGHT_BASE_FOG, mesh->vertexColours = mesh->faceColours = 1;
    for (int i = 0; i < OBJ_SHADE_RAMP; i++)
        mesh->shadeRamp[i] = (uint8_t)(255 - i);
    const float a[3] = {1.0f, 0.5f, -1.0f}, b[3] = {0.25f, 1.0f, 0.0f};
    std::copy_n(a, 3, lighting.lightA), std::copy_n(b, 3, lighting.lightB);
    Vertex *v = mesh->vertices;
    v[0].nx = -100, v[0].ny = -50, v[0].cz = 8192, v[0].baseColour = 0x10203040;
    v[1].nx = -125, v[1].ny = -125, v[1].cz = 262136, v[1].baseColour = 0x01000000; // far: fog 0
    v[2].nx = -1, v[2].cz = 0;
    Face *f = mesh->faces;
    f[0].baseRed = 20, f[0].baseGreen = 50, f[0].baseBlue = 200, f[0].nx = -100, f[0].ny = -120;
    f[1] = f[0], f[1].nx = 100, f[1].ny = 100, f[1].a = &v[1];
    Matrix r = diagonal(1024);
    obj_Shade(mesh.get(), &r, &lighting);
    // R = (25500 + 3150) >> 7 = 223, G = (12700 + 12750) >> 7 = 198, B = 0;
    // fog 247; added to the base byte by byte, alpha saturating. Far away,
    // 31875 + 7875 and 15875 + 31875 are held at 32767.
    EXPECT_EQ((std::vector<uint32_t>{v[0].colour, v[1].colour}), (std::vector<uint32_t>{0xFFFFF640u, 0x01FFFF00u}));
    // Indices 24480 >> 7 = 191, 23040 >> 7 = 180 and 39680 held at 32767 >> 7 =
    // 255 through the reversed ramp, faded by corner a's fog; facing away from
    // both terms leaves the base: 20, 50, 200.
    EXPECT_EQ((std::vector<uint32_t>{f[0].colour, f[1].colour}), (std::vector<uint32_t>{0xF7404B00u, 0x00EBCD37u}));
    lighting.lightA[0] = NAN, lighting.lightB[1] = INFINITY;
    obj_Shade(mesh.get(), &r, &lighting);
    EXPECT_EQ(v[2].colour, 0xFFFF0000u) << "lights that fit no integer saturate";
}
