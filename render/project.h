// Camera space to the screen: the projection state a scene render installs,
// vertex projection with the integer matrices, face collection with outcode
// rejection and back-face culling, and clipping against the near plane.
// The scene renderer (render/scene.h) runs these in order; tests call them
// one at a time.
#pragma once

#include <cstdint>

#include "render/object.h"
#include "render/view.h"

// ---------------------------------------------------------------------------
// Fixed-point formats
// ---------------------------------------------------------------------------
// Matrix.fixed   float entry * 1024 (10 fraction bits)
// cx, cy, cz     camera space 24.8: (fixed row . p + translation) >> 2
// sx, sy         screen 24.8
enum {
    MATRIX_FRAC = 10,
    CAMERA_FRAC = 8,
    MATRIX_TO_CAMERA_SHIFT = MATRIX_FRAC - CAMERA_FRAC, // 2
};

// Back-face test: a face is drawn only when its screen-space value (2
// fraction bits per coordinate) is this or less.
enum { BACKFACE_LIMIT = -16 };

// Sound bounds for the near distance: at least 1, so that every projected
// vertex lies in front of the camera (depth > 0) and focal / near is finite;
// at most 2^22, so that near * 256 fits 32 bits.
#define NEAR_MIN 1.0f
#define NEAR_MAX 4194304.0f

// ---------------------------------------------------------------------------
// Projection state (valid during one render; rnd_CreateView installs near 10
// and the clip lines -1 and 239 before the first)
// ---------------------------------------------------------------------------
struct RenderState {
    int32_t centreX, centreY;     // pixels: the view's width / 2, height / 2
    int32_t centreXFixed;         // 24.8
    int32_t centreYFixed;
    float focalLength;            // the camera's; 128 without a camera
    int32_t useDistortion;        // the camera's useDistortion is 1
    float distortion;
    float near;                   // the view's nearZ, held within NEAR_MIN..NEAR_MAX
    int32_t nearFixed;            // truncate(near * 256): near-plane clipping, 24.8
    int32_t nearInt;              // truncate(near): vertices below nearInt * 256 are not projected
    float focalOverNear;          // projection of points on the near plane
    int32_t clipY0, clipY1;       // clip lines in pixels, held within the frame's block
    int32_t clipTopFixed;         // clipY0 * 256
    int32_t clipBottomFixed;      // clipY1 * 256
};

// Installs the state of a render through view with camera (null: focal length
// 128, no distortion), including the rasteriser's clip lines and line
// rectangle. Does not touch view->target.
void rnd_SetProjection(const RenderView *view, const Object *camera);
const RenderState *rnd_Projection(void); // the state last installed

// ---------------------------------------------------------------------------
// Per object
// ---------------------------------------------------------------------------
// cx, cy, cz of every vertex from m's fixed-point part; sx, sy and clipFlags
// for those at or beyond nearInt * 256, clipFlags CLIP_NEAR (screen position
// untouched) for the others. The camera's distorting projection when the
// state says so.
void obj_ProjectVertices(Object *object, const Matrix *m, const RenderState &rs);
// faceList (null-terminated) = the faces not wholly beyond one screen edge or
// the near plane, less single-sided back faces when the object hasSingleSided;
// sets every face's clipAnd and clipFlags and the kept faces' depthKey. Faces
// crossing the near plane wait for clip_NearPlane, uncounted.
void obj_CollectFaces(Object *object);

// 1 when the face a, b, c faces away on screen: the value
// ((c.sy - a.sy) >> 6) * ((c.sx - b.sx) >> 6) - ((c.sy - b.sy) >> 6) * ((c.sx - a.sx) >> 6)
// is above BACKFACE_LIMIT (worked out in 64 bits: no wrap for far corners).
int clip_BackFacing(const Vertex *a, const Vertex *b, const Vertex *c);
// a.cz + b.cz + c.cz, held within 32 bits.
int32_t clip_DepthKey(const Vertex *a, const Vertex *b, const Vertex *c);

// ---------------------------------------------------------------------------
// Near-plane clipping
// ---------------------------------------------------------------------------
// Spare vertices and faces of one render. A face whose intersections or fan
// faces do not fit is left out and counted in `dropped`; nothing is written
// past the pools.
struct ClipPools {
    Vertex *vertices;
    int32_t vertexCount, vertexUsed;
    Face *faces;
    int32_t faceCount, faceUsed;
    int32_t dropped;
};
enum { NEAR_CLIP_MAX_FACES = 2 }; // a triangle cut by one plane keeps at most 4 corners

// Clips a face against z = near (24.8 nearFixed) and fans what is left into
// at most two faces from the pools, skipping fan triangles wholly beyond one
// screen edge. The first face made records the source in `edges`. Returns
// the number of faces written to out.
int clip_NearPlane(Face *face, const RenderState &rs, ClipPools &pools, Face *out[NEAR_CLIP_MAX_FACES]);
