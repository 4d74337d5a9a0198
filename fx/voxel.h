// The voxel landscape (foreground effect 3): a 64 x 64 field of columns
// whose heights and colours come from the blurred object layer over the
// tunnel, drawn by edge accumulation and integrated by the relief filter.
#pragma once

#include <cstdint>

#include "cvar/cvar.h"

struct Object;
struct Scene;

// Variables, in registration order ("voxel.vars").
extern Cvar voxel_movement_radius, voxel_displacement_scale, voxel_baseblur, voxel_sample_scale;

enum {
    VOXEL_GRID = 64,                                  // cells per side
    VOXEL_CELLS = VOXEL_GRID * VOXEL_GRID,
    VOXEL_CELL_SIZE = 16,                             // world units per cell
    VOXEL_VERTICES = VOXEL_CELLS * 4,                 // four corners per cell, not shared
    VOXEL_FACE_ROOM = 24576,
    VOXEL_FACES = VOXEL_CELLS * 2 + 2 * (VOXEL_GRID - 1) * VOXEL_GRID * 2, // tops and both wall rows: 24,320
    // Heights are the sample's alpha times this scale >> 6; the bound keeps a
    // track's extreme scale (designed 0..256) to columns the renderer's fixed
    // point can carry.
    VOXEL_SCALE_LIMIT = 1024,
};

// What voxel_setup built, for tests; pointers stay null before it or when
// memory ran out.
struct VoxelLandscape {
    Scene *scene;
    Object *grid;
    Object *camera;
    Object *light; // keyed like the object layer's, never added to the scene
};
const VoxelLandscape *voxel_landscape(void);

// ---------------------------------------------------------------------------
// Relief filter (the same bits; the effect runs the SSE2 one where the build has it)
// ---------------------------------------------------------------------------
// Turns the 180 picture rows at band (pitch 320) from edge-accumulation
// differences over the 0x7F7F7F7F clear into filled shapes: a running sum
// along each row of (byte - 127) per channel, times 7, clamped to 0..255.
// Rows go in pairs; a column whose two pixels AND to the grey clear value
// (both untouched, as a rule) repeats the pair's last outputs, which are
// black at the row start.
void voxelReliefRef(uint32_t *band);
void voxelReliefSSE2(uint32_t *band);
