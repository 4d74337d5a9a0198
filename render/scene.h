// Scenes: one camera, a list of meshes and a list of lights, rendered into a
// frame through the fixed-point transform, culling, near-plane clipping,
// shading and a back-to-front sort (painter's order; no depth buffer).
#pragma once

#include <cstdint>

#include "render/light.h"
#include "render/object.h"
#include "render/view.h"

// One primitive of a render.
struct DrawEntry {
    int32_t key;      // sum of the corners' cz: larger = farther
    Face *primitive;
};

// Created zero-filled by the effect that owns it, filled with scn_AddObject,
// then locked once and rendered every frame.
struct Scene {
    Object *camera;         // type 6
    Object *objects;        // first mesh; the list goes on through next
    int32_t objectCount;
    Object *lights;         // first light, linked by the effect through next
    int32_t lightCount;
    int32_t locked;         // set by scn_Lock: nothing is added after, nothing drawn before
    Vertex *vertexPool;     // spare vertices for near-plane clipping
    Face *facePool;         // spare faces for near-plane clipping
    int32_t hasVertices;    // the locked scene holds any vertex
    int32_t smallFacePool;  // effect-set: a face pool a quarter as large
    DrawEntry *drawList;    // this render's primitives
    DrawEntry **sortedList; // result of the large-list sort, or null
    DrawEntry **radixA;     // work arrays of the large-list sort, made on first use
    DrawEntry **radixB;
    int32_t drawCount;      // entries in drawList this render
    int32_t unsorted;       // effect-set: draw the list in the order it was built
    // Sizes fixed by scn_Lock, and what the last render had to leave out.
    int32_t vertexPoolSize;
    int32_t facePoolSize;
    int32_t drawCapacity;
    int32_t radixCapacity;
    int32_t droppedFaces;   // faces near clipping made that found no room in the pools
    Lighting lighting;      // effect-set: the directional colours of LIGHT_BASE_FOG
};

// Sort paths of scn_Sort: up to this many entries the in-place quicksort,
// above it the radix sort on pointers.
enum { SCENE_QUICKSORT_MAX = 1500 };

// ---------------------------------------------------------------------------
// Building a scene
// ---------------------------------------------------------------------------
// Appends a mesh. Null objects and locked scenes are refused with a message.
void scn_AddObject(Scene *scene, Object *object);
// Sizes the clipping pools and the draw list from the meshes and locks the
// scene; pools from an earlier lock are released first.
void scn_Lock(Scene *scene);
// Releases the pools and work arrays and unlocks the scene; the objects stay
// the caller's. The demo keeps its scenes; tests and failure paths use this.
void scn_Release(Scene *scene);
// The object index steps along next from first; null when a link is missing.
Object *obj_GetObject(Object *first, int index);

// ---------------------------------------------------------------------------
// Rendering
// ---------------------------------------------------------------------------
// Draws the scene into pixels (a 320-wide frame's first visible row) with the
// view's nearZ and clip lines. Unlocked or empty scenes, and scenes without a
// camera, draw nothing. Not reentrant.
void scn_Render(RenderView *view, Scene *scene, uint32_t *pixels);

// The steps of scn_Render that stand on their own (tests and effects):
// world matrices with parents and look-at, for meshes, lights and camera.
void scn_UpdateTransforms(Scene *scene);
// drawList from the collected face lists, near-plane clipping into the pools.
void scn_BuildDrawList(Scene *scene);
// Orders drawList farthest first (quicksort, SCENE_QUICKSORT_MAX entries or
// fewer) or sets sortedList nearest first (radix sort on key bits 2-25).
void scn_Sort(Scene *scene);
