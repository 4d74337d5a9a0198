// The fish test: a flight through a generated, textured tube with rising
// boxes. Its entry points are in fx/fx.h; this is what the greetings and the
// tests may see of it beyond them.
#pragma once

#include <cstdint>
#include <vector>

struct Object;
struct Scene;
struct Texture;

enum {
    FISH_TEXTURES = 7,       // the cross-fade cycles through them
    FISH_TEXTURE_SIDE = 256, // every slot and the blend texture
    FISH_BOXES = 256,
    FISH_TUBE_RINGS = 81,
    FISH_TUBE_STEPS = 16,    // around a ring; step 15 lies on step 0 and carries the seam
};

// What the setup built, alive for the whole run.
struct FishTest {
    Texture *textures[FISH_TEXTURES];
    Texture *blend;            // the tube's texture, rewritten every frame
    Scene *scene;
    Object *tube;
    Object *boxes[FISH_BOXES]; // null when the box object could not be read
    Object *camera;
};

// Null until fishtest1_setup has run.
const FishTest *fishtest_state(void);

// The tube as an object file image: 81 rings of 16 vertices, 2400 faces,
// a normal block and a texture-coordinate block (file units, scale 1.0).
void fishtest_tubeImage(std::vector<uint8_t> *out);

// out = a + (b - a) * w / 256 per byte, in 9.7 lanes (LANE_FRAC, render/bitmap.h);
// w is 0..255 and count a number of pixels. Both give the same bits.
void fishtest_crossFadeSSE2(const uint32_t *a, const uint32_t *b, uint32_t *out, int count, int w);
void fishtest_crossFadeRef(const uint32_t *a, const uint32_t *b, uint32_t *out, int count, int w);
