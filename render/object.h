// Objects: meshes with their vertices, faces and materials, cameras and
// lights, the records the scene renderer transforms, lights and rasterises,
// and the geometry utilities that build them.
#pragma once

#include <cstdint>

#include "render/bitmap.h"

struct Vertex;
struct Face;
struct Material;
struct Object;
struct Motion;

// A material's two slots, set from its fill mode.
typedef void (*ClipFillFn)(Face *face);
typedef void (*TriFillFn)(Vertex *top, Vertex *middle, Vertex *bottom, Material *material, uint32_t colour);

// Object types.
enum {
    OBJ_MESH = 0,         // 1 is a mesh too
    OBJ_MESH_SCALED = 4,  // a mesh whose motion also drives its scale
    OBJ_LIGHT = 5,
    OBJ_CAMERA = 6,
};

// Fill modes (Material.mode) and the properties of obj_SetProperty.
enum {
    MODE_TEXTURED = 1,
    MODE_GOURAUD = 3,
    MODE_FLAT = 4,
    MODE_NONE = 8,
    MODE_EDGES = 12,
};
enum {
    PROP_TEXTURE = 1,
    PROP_MODE = 2,
    PROP_OUTLINE = 4,
    PROP_DOUBLE_SIDED = 5,
    PROP_COLOUR = 6,
    PROP_COLOUR2 = 9,
};

// Row-major 4 x 4 float matrix (translation in the fourth column, vectors as
// columns), its entries as integers with 10 fraction bits, and whether the
// float part is the identity.
struct Matrix {
    float m[16];
    int32_t fixed[16];
    int32_t identity;
};

struct Vertex {
    uint8_t kind;        // 1
    uint8_t clipFlags;   // outcode against the screen
    uint8_t reserved[2]; // 0: the first word of a vertex is 1
    int32_t sx, sy;      // screen position, 24.8
    int32_t cx, cy, cz;  // camera space, 24.8
    int32_t x, y, z;     // object space
    uint32_t baseColour; // 0xAARRGGBB the brightest lighting model adds light to
    uint32_t colour;     // 0xAARRGGBB; 0x7F7F7F7F at creation
    int32_t u, v;        // texture coordinates, 8.8
    int16_t nx, ny, nz;  // vertex normal, length about 125
    uint16_t normalCount;
    Material *material;
};

struct Face {
    uint8_t kind;      // 0
    uint8_t clipAnd;   // AND of the corners' outcodes
    uint8_t clipFlags; // OR of the corners' outcodes; 0 = wholly inside
    Vertex *a, *b, *c;
    int32_t depthKey;  // sum of the corners' cz
    Material *material;
    uint8_t baseBlue, baseGreen, baseRed, baseSpare;
    uint32_t colour;   // flat colour; 0x7F7F7F7F at creation
    int8_t nx, ny, nz;    // object-space normal, length 125
    int8_t cnx, cny, cnz; // camera-space normal
    uint16_t edgeA, edgeB, edgeC;
    Face *edges;       // the face whose outline this is; itself at creation
};

struct Material {
    Texture *texture;    // 256 x 256, for the textured mode
    uint8_t mode;        // MODE_*
    uint8_t outline;     // always 0
    uint8_t doubleSided; // not 0: never culled as a back face
    uint8_t red, green, blue;
    uint8_t red2, green2, blue2;
    ClipFillFn clipFill; // clips a face that crosses the screen edges and fans it
    TriFillFn triFill;   // fills one triangle sorted by sy; null: nothing is filled
    Object *owner;
};

enum { OBJ_MATERIALS = 4, OBJ_SHADE_RAMP = 256 };

struct Object {
    int32_t type;          // OBJ_*
    int32_t hasTarget;     // 0 rotation, 1 aim at target, 2 aim at targetPoint
    Object *target;        // camera: the object looked at
    float targetPoint[3];  // camera: the point looked at
    Object *parent;        // transform relative to this one; null = none
    Motion *motion;        // keyframes driving position, rotation (and scale)
    uint8_t rotated;       // per render: rotation not all zero
    uint8_t scaled;        // per render: scale not all 1
    uint8_t transformDone; // per render: world matrix built (render/scene.cpp)
    Matrix localMatrix;    // per render
    Matrix scaleMatrix;    // per render
    float position[3];
    float scale[3];        // 1 each at creation
    float rotation[3];     // degrees about x, y, z
    float viewPosition[3]; // per render: camera-space origin
    Object *next;          // next in its scene's list
    int32_t parentIndex, childIndex; // -1; unread
    char *name;            // file name without directories, for loaded objects
    int32_t hidden;        // not 0: the scene skips it
    Vertex *vertices;
    Face *faces;
    int32_t vertexCount;
    int32_t faceCount;
    int32_t edgeCount;     // 0
    int32_t lighting;      // lighting model; 7 loaded meshes, 0 made meshes, 5 unlit
    int32_t boxMin[3];
    int32_t boxMax[3];
    Material materials[OBJ_MATERIALS];
    uint8_t shadeRamp[OBJ_SHADE_RAMP]; // intensity curve of the lighting
    Face **faceList;       // per render: the faces to draw, null-terminated
    int32_t needsNormals;  // rotate face normals into camera space every render
    int32_t shadingPass;   // run the shading pass
    int32_t vertexColours; // the shading pass computes vertex colours
    int32_t faceColours;   // ... and face colours
    int32_t dynamicNormals;// recompute face normals from the vertices every render
    float boxCorners[8][3];
    int32_t visible;       // per render
    int32_t alwaysVisible; // 1
    int32_t hasSingleSided;// some material is single-sided: cull back faces
    int32_t hasGeometry;   // vertex and face arrays allocated
    uint8_t *edgeStamps;   // null; outlines are never drawn

    // Cameras (type 6).
    float focalLength;     // 128 at creation
    float distortion;
    int32_t useDistortion; // 1: the bent projection
    // Lights (type 5). Nothing in the renderer reads these; effects may.
    float range;           // 2000
    uint8_t *falloff;      // 2000 entries
    int32_t lightLevels[6];// 255 each
};

// ---------------------------------------------------------------------------
// Creation (records zero-filled, then set field by field)
// ---------------------------------------------------------------------------
// A Gouraud mesh with zero-filled geometry: every corner is vertex 0. Null
// with a message for negative counts, faces without vertices, or when the
// arrays cannot be allocated.
Object *obj_Create(int vertexCount, int faceCount);
Object *obj_CreateDummy(void);  // no geometry, material mode 8, box -1..1
Object *obj_CreateCamera(void); // focal length 128, looking down +z
Object *obj_CreateLight(void);  // range 2000, falloff table, levels 255
// Releases an object and the arrays these functions gave it (vertices,
// faces, face list, name, falloff). The demo keeps its objects for the whole
// run; failure paths and tests use this. Null is ignored.
void obj_Free(Object *object);

// ---------------------------------------------------------------------------
// Geometry and set-up
// ---------------------------------------------------------------------------
// Allocates vertexCount vertices, faceCount faces (when > 0) and the face
// list (zero-filled, in place of any arrays set before) and builds the
// default shade ramp. 1 on success; 0 leaves the object without geometry.
int obj_AllocGeometry(Object *object);
// shadeRamp[i] = low + (i / 255)^exponent * (high - low), within 0..min(255, high).
void obj_BuildShadeTable(Object *object, int low, int high, double exponent);
void obj_ResetTransform(Object *object); // position, rotation 0; scale 1; indices -1
// Writes material 0 (PROP_*): a texture pointer, a mode, a switch or a
// 0xRRGGBB colour; unknown properties are ignored.
void obj_SetProperty(Object *object, int property, uintptr_t value);
// Owners, back-face culling and which colours the shading pass computes, from
// the four materials; call after configuring them.
void obj_UpdateFlags(Object *object);
void obj_Scale(Object *object, double sx, double sy, double sz); // vertices and box, truncated
// Moves the vertices so that their bounding box is centred on the origin;
// the box keeps the extent it had before the move.
void obj_Center(Object *object);
// Position of the vertex in the object's array; -1 when it is not one of them.
int obj_VertexIndex(const Object *object, const Vertex *vertex);
float obj_GetRadius(const Object *object); // farthest vertex from the origin; 0 without vertices
void obj_ComputeNormals(Object *object);     // face normals (length 125) and vertex normals
void obj_ComputeFaceNormals(Object *object); // face normals only; vertex normals untouched
void obj_FlipFaces(Object *object);          // negates vertex normals, swaps corners a and c
void obj_BoxCorners(Object *object);         // boxCorners from boxMin / boxMax

// Rotates v in place about the unit axis by degrees (right-handed).
void vec_RotateAxis(float v[3], const float axis[3], float degrees);

// ---------------------------------------------------------------------------
// Motion
// ---------------------------------------------------------------------------
// Evaluates the object's keyframe motion (if any) at time with mot_Evaluate
// and copies its position and rotation, and its scale for OBJ_MESH_SCALED,
// into the object. A motion of another type, or one without keys, is copied
// as it stands.
void obj_ApplyMotion(Object *object, float time);
