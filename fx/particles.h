// The particles' own pieces beyond the effect interface of fx/fx.h: the
// shading of one particle and the drawing of its streak. The effect uses them
// for every vertex of its point cloud each frame; the tests drive them directly.
#pragma once

#include <cstdint>

struct Object;
struct Vertex;

// The particles' shading variables as integers, taken once per frame.
struct ParticleShading {
    int32_t period;     // brightness frequency over object height, 16.16
    int32_t stripe1;    // depths of the two bright stripes
    int32_t stripe2;
    int32_t stripeSize; // half-width of the stripes in depth units
};

// The shading from the particle_shading_ variables as they stand.
ParticleShading particles_shading(void);

// Colour of a particle at object-space height y and camera depth cz (24.8):
// a sine of its height, lit up when it lies within a stripe.
uint32_t particles_colour(const ParticleShading *shading, int32_t y, int32_t cz);

// One particle of a projected cloud: a streak from its screen position toward
// where it was the frame before (remembered in the vertex's u and v, bit 0 of
// u set while that position was on screen), or a single pixel when it has not
// moved; then it remembers this frame's position. Only rows 30 to 210 of the
// 320 x 240 frame are drawn.
void particles_drawVertex(uint32_t *frame, Vertex *vertex, const ParticleShading *shading);

// Remembers the particle's position without drawing (the effect's first frame).
void particles_recordVertex(Vertex *vertex);

// The point cloud after particles_setup, or null when it could not be loaded.
Object *particles_cloud(void);
