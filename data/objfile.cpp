// The engine's object file format: reading big-endian images into objects,
// saving objects (encoded by objwrite.cpp), and importing LightWave objects
// through Assimp's C interface (a build without it, VANTOREL_NO_IMPORT,
// reads converted files only).
#include "data/objfile.h"

#ifndef VANTOREL_NO_IMPORT
#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring> // Required for: memcpy(), strrchr()

#include "data/data.h"
#include "core/common.h"
#include "core/startup.h"
#include "render/object.h"

enum {
    LOADED_LIGHTING = 7,
    LOADED_BOX_LIMIT = 100000, // the empty box of a loaded mesh: +1e5 .. -1e5
    LOADED_COLOUR = 0x7F7F7F7F,
};
#ifndef VANTOREL_NO_IMPORT
enum {
    IMPORT_REMOVE_COMPONENTS = aiComponent_NORMALS | aiComponent_TEXCOORDS | aiComponent_BONEWEIGHTS |
                               aiComponent_LIGHTS | aiComponent_CAMERAS | aiComponent_MATERIALS, // 2866
    IMPORT_FLAGS = aiProcess_JoinIdenticalVertices | aiProcess_Triangulate | aiProcess_RemoveComponent |
                   aiProcess_ImproveCacheLocality | aiProcess_OptimizeMeshes, // 0x20081A
};
static_assert(IMPORT_REMOVE_COMPONENTS == 2866 && IMPORT_FLAGS == 0x20081A, "the import settings the demo was tuned with");
#endif
static const double kSaveUnit = 0.001;   // object units -> file units
static const double kImportScale = 1000.0; // LightWave units -> object units
static const double kCachedScale = 1000.0;

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

static uint32_t getU16(const uint8_t *p)
{
    return (uint32_t)p[0] << 8 | p[1];
}

static uint32_t getU32(const uint8_t *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static float getFloat(const uint8_t *p)
{
    uint32_t bits = getU32(p);
    float value;
    memcpy(&value, &bits, 4);
    return value;
}

// A file normal as a 16-bit component: out-of-range values saturate instead
// of wrapping, and NaN gives 0.
static int16_t normalComponent(float value)
{
    if (!(value == value))
        return 0;
    if (value >= 32767.0f)
        return 32767;
    if (value <= -32768.0f)
        return -32768;
    return (int16_t)value;
}

// Fields every loaded mesh starts from, before its vertices are read.
static void beginLoadedMesh(Object *object)
{
    object->lighting = LOADED_LIGHTING;
    object->needsNormals = 1;
    object->shadingPass = 1;
    object->next = nullptr;
    for (int k = 0; k < 3; k++) {
        object->boxMin[k] = LOADED_BOX_LIMIT;
        object->boxMax[k] = -LOADED_BOX_LIMIT;
    }
}

// Vertex i at p: its fields, and the box grown to hold it. The first vertex
// sets the box, so a mesh lying wholly beyond the empty box's limits still
// gets its true extent.
static void setLoadedVertex(Object *object, int i, const int32_t p[3])
{
    Vertex *v = &object->vertices[i];
    v->x = p[0];
    v->y = p[1];
    v->z = p[2];
    v->kind = 1;
    v->baseColour = 0;
    v->colour = LOADED_COLOUR;
    v->material = &object->materials[0];
    for (int k = 0; k < 3; k++) {
        if (i == 0 || p[k] > object->boxMax[k])
            object->boxMax[k] = p[k];
        if (i == 0 || p[k] < object->boxMin[k])
            object->boxMin[k] = p[k];
    }
}

static void setLoadedFace(Object *object, int i, uint32_t a, uint32_t b, uint32_t c, uint32_t surface)
{
    Face *f = &object->faces[i];
    f->a = &object->vertices[a];
    f->b = &object->vertices[b];
    f->c = &object->vertices[c];
    f->material = &object->materials[surface];
    f->kind = 0;
    f->baseBlue = f->baseGreen = f->baseRed = f->baseSpare = 0;
    f->colour = LOADED_COLOUR;
    f->edges = f;
}

static void finishLoadedMesh(Object *object)
{
    obj_ResetTransform(object);
    obj_BoxCorners(object);
    object->alwaysVisible = 1;
}

// objParse with the file's name in its messages.
static Object *parseImage(const uint8_t *buffer, size_t size, double scale, const char *label)
{
    if (!buffer || size < OBJ_HEADER_SIZE + 4) {
        LOG_TAGGED("%s: %zu bytes are too few for an object file", label, buffer ? size : 0);
        return nullptr;
    }
    // Every count is checked against the bytes there are before anything is
    // allocated or read: a cut or corrupt file yields no object, not garbage.
    const uint32_t flags = getU32(buffer + 4);
    const uint32_t vertexCount = getU32(buffer + 8);
    const uint64_t facesAt = OBJ_HEADER_SIZE + (uint64_t)OBJ_VERTEX_SIZE * vertexCount + 4;
    if (facesAt > size) {
        LOG_TAGGED("%s: %u vertices run past its %zu bytes", label, vertexCount, size);
        return nullptr;
    }
    const uint32_t faceCount = getU32(buffer + facesAt - 4);
    uint64_t end = facesAt + (uint64_t)OBJ_FACE_SIZE * faceCount;
    if (end > size) {
        LOG_TAGGED("%s: %u faces run past its %zu bytes", label, faceCount, size);
        return nullptr;
    }
    const uint64_t normalsAt = end;
    if (flags & OBJ_FLAG_NORMALS)
        end += 12ull * vertexCount;
    const uint64_t uvsAt = end;
    if (flags & OBJ_FLAG_TEXCOORDS)
        end += 8ull * vertexCount;
    if (end > size) {
        LOG_TAGGED("%s: the normal or texture coordinate block runs past its %zu bytes", label, size);
        return nullptr;
    }
    if (vertexCount > INT32_MAX || faceCount > INT32_MAX) {
        LOG_TAGGED("%s: %u vertices, %u faces are too many", label, vertexCount, faceCount);
        return nullptr;
    }
    for (uint32_t f = 0; f < faceCount; f++) {
        const uint8_t *face = buffer + facesAt + (size_t)OBJ_FACE_SIZE * f;
        uint32_t a = getU16(face), b = getU16(face + 2), c = getU16(face + 4), surface = getU16(face + 6);
        if (a >= vertexCount || b >= vertexCount || c >= vertexCount) {
            LOG_TAGGED("%s: face %u (%u, %u, %u) points past its %u vertices", label, f, a, b, c, vertexCount);
            return nullptr;
        }
        if (surface >= OBJ_SURFACES) {
            LOG_TAGGED("%s: face %u has surface %u; there are %d", label, f, surface, OBJ_SURFACES);
            return nullptr;
        }
    }

    Object *object = (Object *)calloc(1, sizeof(Object));
    if (!object)
        return nullptr;
    object->type = OBJ_MESH;
    obj_SetProperty(object, PROP_MODE, MODE_GOURAUD);
    beginLoadedMesh(object);
    object->vertexCount = (int32_t)vertexCount;
    object->faceCount = (int32_t)faceCount;
    printf("faces:%d, verts:%d\n", object->faceCount, object->vertexCount);
    if (!obj_AllocGeometry(object)) {
        obj_Free(object);
        return nullptr;
    }

    for (uint32_t i = 0; i < vertexCount; i++) {
        const uint8_t *p = buffer + OBJ_HEADER_SIZE + (size_t)OBJ_VERTEX_SIZE * i;
        const int32_t xyz[3] = {truncInt(getFloat(p) * scale), truncInt(getFloat(p + 4) * scale),
                                truncInt(getFloat(p + 8) * scale)};
        setLoadedVertex(object, (int)i, xyz);
    }
    for (uint32_t f = 0; f < faceCount; f++) {
        const uint8_t *face = buffer + facesAt + (size_t)OBJ_FACE_SIZE * f;
        setLoadedFace(object, (int)f, getU16(face), getU16(face + 2), getU16(face + 4), getU16(face + 6));
    }
    if (flags & OBJ_FLAG_NORMALS) {
        // Big-endian, like every other block (see objEncode).
        for (uint32_t i = 0; i < vertexCount; i++) {
            const uint8_t *p = buffer + normalsAt + 12 * (size_t)i;
            Vertex *v = &object->vertices[i];
            v->nx = normalComponent(getFloat(p));
            v->ny = normalComponent(getFloat(p + 4));
            v->nz = normalComponent(getFloat(p + 8));
        }
    }
    if (flags & OBJ_FLAG_TEXCOORDS) {
        for (uint32_t i = 0; i < vertexCount; i++) {
            const uint8_t *p = buffer + uvsAt + 8 * (size_t)i;
            object->vertices[i].u = truncInt(getFloat(p) * 256.0); // to 8.8
            object->vertices[i].v = truncInt(getFloat(p + 4) * 256.0);
        }
    }
    if (flags == 0)
        obj_ComputeNormals(object);
    else
        obj_ComputeFaceNormals(object);

    finishLoadedMesh(object);
    printf("%d,%d,%d - %d,%d,%d\n", object->boxMin[0], object->boxMin[1], object->boxMin[2], object->boxMax[0],
           object->boxMax[1], object->boxMax[2]);
    return object;
}

Object *objParse(const uint8_t *buffer, size_t size, double scale)
{
    return parseImage(buffer, size, scale, "object image");
}

Object *objLoad(const char *name, double scale)
{
    StartupScope phase(STARTUP_OBJECTS);
    int32_t size = 0;
    uint8_t *buffer = dataLoadFileAny(name, &size);
    if (!buffer) {
        printf("Object file %s not found\n", name);
        return nullptr;
    }
    Object *object = parseImage(buffer, (size_t)size, scale, name);
    free(buffer);
    if (!object)
        return nullptr;
    const char *slash = strrchr(name, '/');
    object->name = strdup(slash ? slash + 1 : name);
    return object;
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

int objSave(const Object *object, const char *name)
{
    if (!object) {
        LOG_TAGGED("no object to save as %s", name);
        return 0;
    }
    const int vertexCount = object->vertexCount > 0 ? object->vertexCount : 0;
    const int faceCount = object->faceCount > 0 ? object->faceCount : 0;
    std::vector<float> xyz(3 * (size_t)vertexCount);
    for (int i = 0; i < vertexCount; i++) {
        const Vertex *v = &object->vertices[i];
        xyz[3 * i] = (float)(v->x * kSaveUnit);
        xyz[3 * i + 1] = (float)(v->y * kSaveUnit);
        xyz[3 * i + 2] = (float)(v->z * kSaveUnit);
    }
    std::vector<uint16_t> faces(4 * (size_t)faceCount);
    for (int f = 0; f < faceCount; f++) {
        const Face *face = &object->faces[f];
        const Vertex *corners[3] = {face->a, face->b, face->c};
        for (int k = 0; k < 3; k++) {
            int index = obj_VertexIndex(object, corners[k]);
            if (index < 0 || index >= OBJ_MAX_VERTICES) {
                LOG_TAGGED("%s: corner %d of face %d is not one of the %d vertices", name, k, f, vertexCount);
                return 0;
            }
            faces[4 * (size_t)f + k] = (uint16_t)index;
        }
        faces[4 * (size_t)f + 3] = 0; // every face on surface 0
    }
    std::vector<uint8_t> image;
    if (!objEncode(xyz.data(), (uint32_t)vertexCount, faces.data(), (uint32_t)faceCount, 0, nullptr, nullptr, &image))
        return 0;
    return dataSaveFile(name, image.data(), (int32_t)image.size());
}

// ---------------------------------------------------------------------------
// LightWave import
// ---------------------------------------------------------------------------

// The whole file from basePath + path, else from path itself (the converted
// file is written under basePath, so the original is looked for there first).
static uint8_t *readLightWave(const char *path, size_t *size)
{
    char assetPath[DATA_PATH_MAX + 1];
    dataAssetPath(assetPath, sizeof assetPath, path);
    FILE *file = fopen(assetPath, "rb");
    if (!file)
        file = fopen(path, "rb");
    if (!file)
        return nullptr;
    long length = dataMeasureFile(file);
    uint8_t *bytes = length >= 0 ? (uint8_t *)malloc((size_t)length + 1) : nullptr;
    if (bytes)
        *size = fread(bytes, 1, (size_t)length, file);
    fclose(file);
    return bytes;
}

#ifndef VANTOREL_NO_IMPORT
static bool isLightWave(const uint8_t *bytes, size_t size)
{
    if (size < 12 || memcmp(bytes, "FORM", 4) != 0)
        return false;
    return memcmp(bytes + 8, "LWO2", 4) == 0 || memcmp(bytes + 8, "LXOB", 4) == 0 ||
           memcmp(bytes + 8, "LWOB", 4) == 0;
}

// An Assimp colour channel (0..1) as a byte; values outside clamp.
static uint32_t colourByte(float channel)
{
    int32_t value = truncInt(channel * 255.0);
    return value < 0 ? 0 : value > 255 ? 255 : (uint32_t)value;
}

// The object for mesh 0 of an imported scene; null when its faces do not
// address its vertices.
static Object *objectFromMesh(const aiMesh *mesh, const char *path)
{
    if (mesh->mNumVertices > INT32_MAX || mesh->mNumFaces > INT32_MAX) {
        LOG_TAGGED("%s: %u vertices, %u faces are too many", path, mesh->mNumVertices, mesh->mNumFaces);
        return nullptr;
    }
    for (unsigned f = 0; f < mesh->mNumFaces; f++) {
        const aiFace &face = mesh->mFaces[f];
        bool inside = face.mNumIndices > 0;
        for (unsigned k = 0; k < face.mNumIndices && k < 3; k++)
            inside = inside && face.mIndices[k] < mesh->mNumVertices;
        if (!inside) {
            LOG_TAGGED("%s: face %u does not address the %u vertices", path, f, mesh->mNumVertices);
            return nullptr;
        }
    }

    Object *object = obj_Create((int)mesh->mNumVertices, (int)mesh->mNumFaces);
    if (!object)
        return nullptr;
    beginLoadedMesh(object);
    const aiColor4D *colours = mesh->mColors[0];
    for (unsigned i = 0; i < mesh->mNumVertices; i++) {
        const aiVector3D &p = mesh->mVertices[i];
        const int32_t xyz[3] = {truncInt(p.x * kImportScale), truncInt(p.y * kImportScale), truncInt(p.z * kImportScale)};
        setLoadedVertex(object, (int)i, xyz);
        if (colours) {
            uint32_t rgb = colourByte(colours[i].r) << 16 | colourByte(colours[i].g) << 8 | colourByte(colours[i].b);
            object->vertices[i].baseColour = rgb;
            object->vertices[i].colour = rgb;
        }
    }
    for (unsigned f = 0; f < mesh->mNumFaces; f++) {
        // Points and lines kept by the triangulation repeat their last index
        // for the corners they lack: a point face is one vertex three times.
        const aiFace &face = mesh->mFaces[f];
        const unsigned last = face.mNumIndices - 1;
        const unsigned *idx = face.mIndices;
        setLoadedFace(object, (int)f, idx[0], idx[last < 1 ? last : 1], idx[last < 2 ? last : 2], 0);
    }
    obj_ComputeNormals(object);
    finishLoadedMesh(object);
    printf("V:%d F:%d %d,%d,%d - %d,%d,%d\n", object->vertexCount, object->faceCount, object->boxMin[0],
           object->boxMin[1], object->boxMin[2], object->boxMax[0], object->boxMax[1], object->boxMax[2]);
    return object;
}
#endif

Object *objImport(const char *path)
{
    size_t size = 0;
    uint8_t *bytes = readLightWave(path, &size);
    if (!bytes) {
        LOG_TAGGED("LightWave file %s not found", path);
        return nullptr;
    }
#ifdef VANTOREL_NO_IMPORT
    free(bytes);
    LOG_TAGGED("This build cannot import LightWave objects such as %s", path);
    return nullptr;
#else
    // Assimp would pick its importer by the name ("elude.obj" goes to the
    // Wavefront reader and finds nothing): the content decides here, and the
    // bytes are handed over with the LightWave hint.
    if (!isLightWave(bytes, size)) {
        LOG_TAGGED("%s is not a LightWave object", path);
        free(bytes);
        return nullptr;
    }
    const uint64_t formEnd = 8 + (uint64_t)getU32(bytes + 4);
    if (formEnd > size || size > UINT32_MAX) {
        LOG_TAGGED("%s is cut short: %zu of %llu bytes", path, size, (unsigned long long)formEnd);
        free(bytes);
        return nullptr;
    }

    aiLogStream log = aiGetPredefinedLogStream(aiDefaultLogStream_STDOUT, nullptr);
    aiAttachLogStream(&log);
    aiPropertyStore *store = aiCreatePropertyStore();
    aiSetImportPropertyInteger(store, "PP_RVC_FLAGS", IMPORT_REMOVE_COMPONENTS);
    const aiScene *scene =
        aiImportFileFromMemoryWithProperties((const char *)bytes, (unsigned)size, IMPORT_FLAGS, "lwo", store);
    aiReleasePropertyStore(store);
    free(bytes);

    Object *object = nullptr;
    if (!scene)
        LOG_TAGGED("%s: %s", path, aiGetErrorString());
    else if (scene->mNumMeshes == 0 || !scene->mMeshes[0])
        LOG_TAGGED("%s holds no mesh", path);
    else
        object = objectFromMesh(scene->mMeshes[0], path);
    aiReleaseImport(scene);
    aiDetachLogStream(&log);
    return object;
#endif
}

// ---------------------------------------------------------------------------
// Conversion cache
// ---------------------------------------------------------------------------

Object *objLoadCached(const char *lightwaveName, const char *convertedName, bool pointsOnly)
{
    StartupScope phase(STARTUP_OBJECTS);
    if (dataFileSize(convertedName) > 0) {
        if (Object *object = objLoad(convertedName, kCachedScale))
            return object;
    }
#ifdef VANTOREL_NO_IMPORT
    size_t size = 0;
    if (uint8_t *bytes = readLightWave(lightwaveName, &size)) {
        free(bytes);
        LOG_TAGGED("This build cannot import LightWave objects: %s needs its converted file %s, which a "
                   "development run of the Linux program writes into the asset tree",
                   lightwaveName, convertedName);
        return nullptr;
    }
#endif
    Object *object = objImport(lightwaveName);
    if (!object)
        return nullptr;
    if (pointsOnly)
        object->faceCount = 0; // as the cached file will load: points only
    if (dataWriteBack) // a release run writes nothing
        objSave(object, convertedName);
    return object;
}
