// The engine's object file as the production builder and the demo write it:
// the big-endian layout and the mesh encoder.
#pragma once

#include <cstdint>
#include <vector>

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
