// The production's meshes and point clouds, and the object files made from
// them: the engine's ".lobj" files and the LightWave files the demo imports.
// Everything is generated from fixed seeds, so two builds give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A triangle mesh (or, with no triangles, a point cloud) in engine object
// space divided by the scale its file is read with (1000 for all but the
// cube, which is read with 100).
//
// Winding: (b - a) x (c - a) points out of the solid. The renderer keeps a
// face when its corners run clockwise on the screen (x right, y down), which
// for its camera space (x right, y up, z away from the viewer) is exactly the
// face whose (b - a) x (c - a) points back at the camera.
struct Mesh {
    std::vector<float> xyz;       // x, y, z per vertex
    std::vector<uint32_t> tris;   // a, b, c per triangle
    uint32_t vertexCount() const { return (uint32_t)(xyz.size() / 3); }
    uint32_t faceCount() const { return (uint32_t)(tris.size() / 3); }
};

// ---------------------------------------------------------------------------
// The shapes
// ---------------------------------------------------------------------------
Mesh meshBlob();      // "blob3_mesh_hi": a sphere swollen into three lobes and rippled by noise
Mesh meshGlow();      // "fx02_glow": a ball of 42 spikes twisted about its vertical axis
Mesh meshKnot();      // "weird2": a trefoil tube with a four-lobed cross-section turning along it
Mesh meshCube();      // "simplecube": side 2, centred on the origin
Mesh meshElude();     // "elude": a seven-bladed supershape swept into a spiral
Mesh meshParticles(); // "particle_test1": a tower of helices, rings and a core of dust (points only)

// ---------------------------------------------------------------------------
// Geometry checks (also used by the tests)
// ---------------------------------------------------------------------------
// Six times the enclosed volume; positive when the mesh is wound outward.
double meshSignedVolume(const Mesh &mesh);
// True when every edge is used exactly twice, once in each direction: the
// surface is closed and consistently wound.
bool meshIsClosed(const Mesh &mesh);

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------
struct MeshFile {
    std::string name;  // relative to the asset tree, e.g. "lwobj/weird2.lobj"
    std::string bytes;
};
// Every object file of the production, in a fixed order. False with a reason.
bool meshObjectFiles(std::vector<MeshFile> *files, std::string *error);
// The mesh as the engine's object file (flags 0, surface 0 on every face).
bool meshEncodeObject(const Mesh &mesh, std::string *out, std::string *error);
// The mesh as a LightWave LWO2 file; a mesh without triangles becomes one
// one-point polygon per vertex, because Assimp finds no mesh in a file that
// has points but no polygons. Assimp mirrors LightWave's left-handed space
// into its right-handed one (z negated, corner order reversed) and the demo
// takes its positions as they come, so the file holds the mirror image and
// the demo sees the mesh as given here.
bool meshEncodeLwo2(const Mesh &mesh, std::string *out, std::string *error);
