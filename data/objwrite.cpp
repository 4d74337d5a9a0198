// Encoding meshes into object file images: what the production builder
// writes and what the demo saves its converted objects as.
#include "data/objwrite.h"

#include <cstring> // Required for: memcpy()

#include "core/log.h"

static void putU16(uint8_t *&p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
    p += 2;
}

static void putU32(uint8_t *&p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
    p += 4;
}

static void putFloats(uint8_t *&p, const float *values, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        uint32_t bits;
        memcpy(&bits, &values[i], 4);
        putU32(p, bits);
    }
}

uint64_t objEncodedSize(uint32_t vertexCount, uint32_t faceCount, uint32_t flags)
{
    uint64_t size = OBJ_HEADER_SIZE + (uint64_t)OBJ_VERTEX_SIZE * vertexCount + 4 +
                    (uint64_t)OBJ_FACE_SIZE * faceCount + 4;
    if (flags & OBJ_FLAG_NORMALS)
        size += 12ull * vertexCount;
    if (flags & OBJ_FLAG_TEXCOORDS)
        size += 8ull * vertexCount;
    return size;
}

bool objEncode(const float *xyz, uint32_t vertexCount, const uint16_t *faces, uint32_t faceCount, uint32_t flags,
               const float *normals, const float *uvs, std::vector<uint8_t> *out)
{
    out->clear();
    if (vertexCount > OBJ_MAX_VERTICES) {
        LOG_TAGGED("%u vertices, corner indices reach only %u", vertexCount, (unsigned)OBJ_MAX_VERTICES);
        return false;
    }
    if ((vertexCount && !xyz) || (faceCount && !faces)) {
        LOG_TAGGED("no vertex or face data for %u vertices, %u faces", vertexCount, faceCount);
        return false;
    }
    // A block whose flag and data disagree would shift every later block for
    // the reader; refuse it here rather than write a file that loads garbage.
    if (!(flags & OBJ_FLAG_NORMALS) != !normals || !(flags & OBJ_FLAG_TEXCOORDS) != !uvs) {
        LOG_TAGGED("flags %u do not match the normal and texture coordinate data", flags);
        return false;
    }
    for (uint32_t f = 0; f < faceCount; f++) {
        const uint16_t *face = faces + 4 * (size_t)f;
        if (face[0] >= vertexCount || face[1] >= vertexCount || face[2] >= vertexCount || face[3] >= OBJ_SURFACES) {
            LOG_TAGGED("face %u (%u, %u, %u, surface %u) out of range for %u vertices", f, face[0], face[1], face[2],
                       face[3], vertexCount);
            return false;
        }
    }

    out->resize(objEncodedSize(vertexCount, faceCount, flags));
    uint8_t *p = out->data();
    putU32(p, 0); // reserved
    putU32(p, flags);
    putU32(p, vertexCount);
    putFloats(p, xyz, 3 * (size_t)vertexCount);
    putU32(p, faceCount);
    for (size_t i = 0; i < 4 * (size_t)faceCount; i++)
        putU16(p, faces[i]);
    if (flags & OBJ_FLAG_NORMALS)
        putFloats(p, normals, 3 * (size_t)vertexCount);
    if (flags & OBJ_FLAG_TEXCOORDS)
        putFloats(p, uvs, 2 * (size_t)vertexCount);
    putU32(p, 0); // end word
    return true;
}
