// The greetings: one of seventeen greeting pictures over the fish test, with
// four glitch tiles under it. Its entry points are in fx/fx.h; this is what
// the tests and benchmarks may see of it beyond them.
#pragma once

#include <cstdint>

struct Texture;

enum {
    GREETS_PICTURES = 17,   // greets_idx 0..16 shows one; 17 and 18 show none
    GREETS_TILES = 20,      // glitch tiles to choose from
    GREETS_TILES_SHOWN = 4, // one per 80-column quarter of the band
};

// What the setup loaded, alive for the whole run; a picture or tile that
// failed to load is null and is skipped when drawing.
struct Greets {
    Texture *pictures[GREETS_PICTURES];
    Texture *tiles[GREETS_TILES]; // darkened to 179/256 right after loading
};

// Null until greets_setup has run.
const Greets *greets_state(void);

// The greeting number greets_render uses for a greets_idx value: its floor,
// or INT32_MIN for NaN, infinities and values beyond the int32 range.
int32_t greets_number(float idx);

// The tile slots (0..19) laid under greeting g, left to right. Reseeds the
// shared generator with g, so one greeting always gets the same four.
void greets_chooseTiles(int32_t g, int out[GREETS_TILES_SHOWN]);
