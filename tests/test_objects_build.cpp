// Object files: the engine's encoder, the builder's LWO2 writer, the
// production's meshes, and their import through Assimp as the demo does it.

#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "data/objfile.h"
#include "lwo2.h"
#include "meshes.h"
#include "testutil.h"

static std::string hex(const std::vector<uint8_t> &bytes)
{
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        snprintf(b, sizeof b, "%02X", v);
        out += b;
    }
    return out;
}

TEST(ObjEncode, AddressesEveryU16IndexAndRefusesMoreVertices)
{
    std::vector<float> xyz(3 * (OBJ_MAX_VERTICES + 1), 0.0f);
    const uint16_t faces[] = {0xFFFF, 0x0100, 1, 0};
    std::vector<uint8_t> out;
    ASSERT_TRUE(objEncode(xyz.data(), OBJ_MAX_VERTICES, faces, 1, 0, nullptr, nullptr, &out));
    // A file without blocks is as long as a saved object: 20 + 12 V + 8 F.
    ASSERT_EQ(out.size(), 20u + 12u * OBJ_MAX_VERTICES + 8u);
    const size_t face = 16 + 12 * (size_t)OBJ_MAX_VERTICES;
    EXPECT_EQ(hex({out.begin() + face - 4, out.end()}), "00000001FFFF010000010000" "00000000");

    const std::string said =
        captured([&] { EXPECT_FALSE(objEncode(xyz.data(), OBJ_MAX_VERTICES + 1, faces, 1, 0, nullptr, nullptr, &out)); });
    EXPECT_EQ(said.rfind("[objEncode :", 0), 0u) << said;
    EXPECT_TRUE(out.empty());
}

TEST(ObjEncode, RefusesWhatAReaderWouldMisplace)
{
    const float xyz[9] = {}, normals[9] = {}, uvs[6] = {};
    struct Case {
        const char *what;
        std::array<uint16_t, 4> face;
        uint32_t flags;
        const float *normals, *uvs;
    } cases[] = {
        {"corner index = vertex count", {0, 1, 3, 0}, 0, nullptr, nullptr},
        {"surface 4", {0, 1, 2, 4}, 0, nullptr, nullptr},
        {"normals announced, none given", {0, 1, 2, 0}, OBJ_FLAG_NORMALS, nullptr, nullptr},
        {"texture coordinates given, not announced", {0, 1, 2, 0}, OBJ_FLAG_NORMALS, normals, uvs},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> out(7, 1);
        const std::string said =
            captured([&] { EXPECT_FALSE(objEncode(xyz, 3, c.face.data(), 1, c.flags, c.normals, c.uvs, &out)); });
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(out.size(), 0u);
    }
}

// Walks an IFF file: returns the top-level chunk ids in order, failing when
// a length or pad byte does not add up to the end of the file.
static std::vector<std::string> lwo2Chunks(const std::string &file, std::map<std::string, std::string> *bodies)
{
    EXPECT_EQ(file.substr(0, 4), "FORM");
    EXPECT_EQ(be32(file, 4), file.size() - 8);
    EXPECT_EQ(file.substr(8, 4), "LWO2");
    std::vector<std::string> ids;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        std::string id = file.substr(at, 4);
        uint32_t size = be32(file, at + 4);
        ids.push_back(id);
        (*bodies)[id] = file.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    EXPECT_EQ(at, file.size());
    return ids;
}

// 0xFF02 distinct points, one polygon each: the last two indices need the
// long form.
static Lwo2Object longIndexCloud()
{
    Lwo2Object cloud;
    cloud.surface = "Ab"; // three bytes with its zero: padded to four
    for (uint32_t i = 0; i < 0xFF02; i++) {
        cloud.points.insert(cloud.points.end(), {(float)(i % 256), (float)(i / 256), 0.5f});
        cloud.polygons.insert(cloud.polygons.end(), {1, i});
    }
    return cloud;
}

TEST(Lwo2, ChunksAddUpAndLargeIndicesTakeFourBytes)
{
    const Lwo2Object cloud = longIndexCloud();
    std::string file, error;
    ASSERT_TRUE(lwo2Write(cloud, &file, &error)) << error;
    std::map<std::string, std::string> body;
    EXPECT_EQ(lwo2Chunks(file, &body), (std::vector<std::string>{"TAGS", "LAYR", "PNTS", "BBOX", "POLS", "PTAG", "SURF"}));
    EXPECT_EQ(body["TAGS"], std::string("Ab\0\0", 4));
    // Short indices below 0xFF00, long ones (four bytes) from there: Assimp reads them back below.
    EXPECT_EQ(body["PNTS"].size(), 12u * 0xFF02);
    EXPECT_EQ(body["POLS"].size(), 4 + 4 * 0xFF00 + 2 * 6u);

    for (const std::vector<uint32_t> &bad : std::vector<std::vector<uint32_t>>{{0}, {1024, 0}, {3, 0, 1, 0xFF02}, {3, 0, 1}}) {
        Lwo2Object object = cloud;
        object.polygons = bad;
        EXPECT_FALSE(lwo2Write(object, &file, &error)) << bad[0];
    }
}

TEST(Meshes, SolidsAreClosedAndWoundOutward)
{
    struct Case {
        const char *name;
        Mesh mesh;
    } cases[] = {{"blob", meshBlob()}, {"glow", meshGlow()}, {"knot", meshKnot()}, {"cube", meshCube()},
                 {"elude", meshElude()}};
    for (const Case &c : cases) {
        EXPECT_TRUE(meshIsClosed(c.mesh)) << c.name;
        EXPECT_GT(meshSignedVolume(c.mesh), 0.0) << c.name << " is wound inward";
        EXPECT_LE(c.mesh.vertexCount(), (uint32_t)OBJ_MAX_VERTICES) << c.name;
        EXPECT_GE(c.mesh.faceCount(), c.mesh.vertexCount() > 8 ? 2000u : 12u) << c.name;
        // In object units (file x 1000) the shapes reach about 1000 from
        // their centre: far inside the loader's box sentinels, fine enough
        // for integer positions.
        float reach = 0;
        for (float v : c.mesh.xyz)
            reach = std::max(reach, std::fabs(v));
        EXPECT_GE(reach, 0.5f) << c.name;
        EXPECT_LE(reach, 2.0f) << c.name;
    }
    // The cube is read with scale 100: its corners become exactly +-100.
    for (float v : meshCube().xyz)
        EXPECT_EQ(std::fabs(v) * 100.0f, 100.0f);
}

TEST(Meshes, ClosednessCheckCatchesAFlippedFaceAndAHole)
{
    Mesh flipped = meshCube(), holed = meshCube();
    std::swap(flipped.tris[4], flipped.tris[5]);
    holed.tris.resize(holed.tris.size() - 3);
    EXPECT_TRUE(meshIsClosed(meshCube()));
    EXPECT_FALSE(meshIsClosed(flipped));
    EXPECT_FALSE(meshIsClosed(holed));
}

// Two builds writing the same bytes: ProductionBuild.TwoBuildsAreByteIdentical.
TEST(MeshFiles, PreparedFilesHoldTheMeshes)
{
    std::vector<MeshFile> files;
    std::string error;
    ASSERT_TRUE(meshObjectFiles(&files, &error)) << error;
    ASSERT_EQ(files.size(), 6u);
    const std::pair<const char *, Mesh> prepared[] = {{"lwobj/blob3_mesh_hi.lobj", meshBlob()},
                                                      {"lwobj/fx02_glow.lobj", meshGlow()},
                                                      {"lwobj/weird2.lobj", meshKnot()},
                                                      {"lwobj/simplecube.lobj", meshCube()}};
    for (const auto &[name, mesh] : prepared) {
        auto file = std::find_if(files.begin(), files.end(), [&](const MeshFile &f) { return f.name == name; });
        ASSERT_NE(file, files.end()) << name;
        // Flags 0 (no normal or texture blocks), the mesh's counts, surface 0 everywhere.
        const std::string &b = file->bytes;
        const size_t faces = 16 + 12 * (size_t)mesh.vertexCount();
        ASSERT_EQ(b.size(), faces + 8 * (size_t)mesh.faceCount() + 4) << name;
        EXPECT_EQ((std::array<uint32_t, 3>{be32(b, 4), be32(b, 8), be32(b, faces - 4)}),
                  (std::array<uint32_t, 3>{0, mesh.vertexCount(), mesh.faceCount()})) << name << ": flags, counts";
        for (size_t f = 0; f < mesh.faceCount(); f++)
            ASSERT_EQ(b[faces + 8 * f + 6] | b[faces + 8 * f + 7], 0) << name << " face " << f;
    }
}

// The importer the demo uses reads the long indices back: every point is reached.
TEST(Lwo2, LongIndicesReachEveryPointThroughAssimp)
{
    std::string file, error;
    ASSERT_TRUE(lwo2Write(longIndexCloud(), &file, &error)) << error;
    const aiScene *scene = aiImportFileFromMemory(file.data(), (unsigned)file.size(), aiProcess_Triangulate, "lwo");
    ASSERT_NE(scene, nullptr) << aiGetErrorString();
    ASSERT_GE(scene->mNumMeshes, 1u);
    EXPECT_EQ(scene->mMeshes[0]->mNumVertices, 0xFF02u);
    EXPECT_EQ(scene->mMeshes[0]->mNumFaces, 0xFF02u);
    aiReleaseImport(scene);
}
