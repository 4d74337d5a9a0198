// The engine's object file: a big-endian mesh image (".lobj" prepared by the
// production builder, ".cached" and ".lob" converted by the demo itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Object;

// File layout, every number big-endian (floats IEEE single precision):
//   u32 reserved        written as 0, never read
//   u32 flags           OBJ_FLAG_*; other bits carry no meaning
//   u32 vertexCount
//   f32 x, y, z         per vertex, in file units (the reader scales them)
//   u32 faceCount
//   u16 a, b, c, surf   per face: corner indices, surface number 0..3
//   f32 nx, ny, nz      per vertex, when OBJ_FLAG_NORMALS (big-endian too:
//                       the in-memory generators write it so)
//   f32 u, v            per vertex, when OBJ_FLAG_TEXCOORDS (after the normals)
//   u32 end             written as 0; readers ignore anything after the blocks
// The end word makes a file with flags 0 exactly as long as a saved object
// (20 + 12 * vertexCount + 8 * faceCount bytes).
enum {
    OBJ_FLAG_NORMALS = 1,
    OBJ_FLAG_TEXCOORDS = 4,
    OBJ_HEADER_SIZE = 12,       // reserved, flags, vertexCount
    OBJ_VERTEX_SIZE = 12,
    OBJ_FACE_SIZE = 8,
    OBJ_SURFACES = 4,           // surface numbers 0..3 select the object's materials
    OBJ_MAX_VERTICES = 0x10000, // what u16 corner indices can address
};

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------
// Encodes a mesh into out (replacing its content). xyz: 3 floats per vertex;
// faces: 4 u16 per face (a, b, c, surface); normals: 3 floats per vertex and
// uvs: 2 floats per vertex, given exactly when flags announce their block.
// The normal block is big-endian like every other block.
// !!! the object reader must take the normal block big-endian too !!!
// False with a tagged message when there are more than OBJ_MAX_VERTICES
// vertices, a corner index or surface number is out of range, or a block and
// its flag disagree; out is then left empty.
bool objEncode(const float *xyz, uint32_t vertexCount, const uint16_t *faces, uint32_t faceCount, uint32_t flags,
               const float *normals, const float *uvs, std::vector<uint8_t> *out);
// Bytes objEncode produces for these counts and flags.
uint64_t objEncodedSize(uint32_t vertexCount, uint32_t faceCount, uint32_t flags);

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------
// A new mesh (lighting 7, Gouraud material 0) from an object file image of
// size bytes; file coordinates are multiplied by scale and truncated. With
// flags 0 the vertex normals are computed from the faces; any other flags keep
// the file's (zero without a normal block).
// Null with a tagged message when a count or block runs past size, a corner
// index is not below the vertex count or a surface number is above 3.
Object *objParse(const uint8_t *buffer, size_t size, double scale);
// The asset through dataLoadFileAny (packs, basePath, working directory),
// parsed; the object's name is the file name without its directories.
// Null after "Object file %s not found" or a refusal.
Object *objLoad(const char *name, double scale);

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------
// Writes the mesh under basePath + name (flags 0, surface 0, coordinates
// times 0.001), replacing the file only by a complete one. 1 on success; 0
// with a message when a corner is not one of the object's vertices, there
// are more vertices than u16 indices address, or the file cannot be written.
int objSave(const Object *object, const char *name);

// ---------------------------------------------------------------------------
// LightWave import
// ---------------------------------------------------------------------------
// The first mesh of a LightWave object ("FORM" holding "LWO2", "LXOB" or
// "LWOB", whatever the file is called) read from basePath + path, else from
// path in the working directory, never from the packs. Positions times 1000.
// Null with a message for a missing, foreign or cut-short file, or when
// Assimp finds no mesh (it prints its own reasons).
Object *objImport(const char *path);

// ---------------------------------------------------------------------------
// Conversion cache
// ---------------------------------------------------------------------------
// The converted file when the data layer has it (scale 1000); otherwise the
// LightWave file imported and, while dataWriteBack is set, saved under
// convertedName for later runs and the pack. A converted file that is
// refused is rebuilt the same way. pointsOnly drops the faces before saving
// (a point cloud). Null when neither gives an object; nothing is saved then.
Object *objLoadCached(const char *lightwaveName, const char *convertedName, bool pointsOnly);
