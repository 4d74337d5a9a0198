// The object layer: one of four objects turning in front of a camera, drawn
// by the curl particles, the voxel landscape and the voronoi mosaic as their
// source picture. engtest_setup and engtest_render are declared in fx/fx.h.
#pragma once

#include "cvar/cvar.h"

struct Scene;
struct Object;
struct Motion;
struct Texture;

enum { ENGTEST_OBJECTS = 4 };

// Registered by engtest_setup in this order; every one is track-bound. They
// have no variable file of their own: any loaded file may set them.
extern Cvar engtest_diffuse;           // colour of the shown object
extern Cvar engtest_zoom;              // camera focal length
extern Cvar engtest_camera;            // camera position
extern Cvar engtest_objectidx;         // slot shown (floor); outside 0..3 none
extern Cvar engtest_shading_primary;   // lightA of the base-and-fog lighting
extern Cvar engtest_shading_secondary; // lightB

// What engtest_setup built, for the callers' tests. Slots whose object could
// not be loaded stay null.
struct EngtestLayer {
    Scene *scene;
    Object *objects[ENGTEST_OBJECTS];
    Object *camera;
    Object *light;    // keyed but not in the scene
    Texture *stripes; // 256 x 256, material 0's texture of every object
};
const EngtestLayer *engtest_layer(void);
