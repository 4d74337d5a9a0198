// Lighting and shading: camera-space face normals, normals recomputed for
// deforming meshes, and the lighting models that turn normals, depth and base
// colours into this render's face and vertex colours.
#pragma once

#include <cstdint>

struct Object;
struct Matrix;

// Object.lighting values.
enum {
    LIGHT_DEFAULT = 0,  // meshes made by obj_Create: face model only
    LIGHT_UNLIT = 5,    // colours are left as they are
    LIGHT_HEADLIGHT = 7,// meshes loaded from files
    LIGHT_BASE_FOG = 10,// base colours plus two fixed directional terms, faded by depth
};

// The two directional colours of LIGHT_BASE_FOG: r, g, b triples, lightA
// along camera x and lightB along camera y. Each scene carries its own, set by
// the effect that owns the scene (zero-filled: no directional light).
struct Lighting {
    float lightA[3];
    float lightB[3];
};

// ---------------------------------------------------------------------------
// Per render (scn_Render calls these for each visible mesh of type 0)
// ---------------------------------------------------------------------------

// Fog byte of a camera-space depth cz (24.8): 255 at and before the camera,
// falling linearly to 0 at cz = 262,136 (about 1024 units) and beyond.
int light_FogByte(int32_t cz);
// cnx, cny, cnz of every face in faceList = the object-space normal rotated
// by rows 0-2 of R's fixed-point part (>> 10). Run when needsNormals is set.
void obj_RotateNormals(Object *object, const Matrix *R);
// Object-space normals of every face in faceList from its corners, length
// 120; a face without area gets the zero normal. Run when dynamicNormals is set.
void obj_RecomputeNormals(Object *object);
// Vertex colours (when vertexColours is set) and face colours (when
// faceColours is set) by the object's lighting model, R being the rotation
// used for obj_RotateNormals, lighting the scene's. LIGHT_UNLIT leaves every
// colour as it is.
void obj_Shade(Object *object, const Matrix *R, const Lighting *lighting);
