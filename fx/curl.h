// Curl particles, the effect's insides: the flow-field table and its cache
// file, the particle records and the steps of a frame. curl_setup and
// curl_render are declared in fx/fx.h; the rest is here for the tests.
#pragma once

#include <cstdint>

#include "cvar/cvar.h"

struct EffectContext;

enum {
    CURL_PARTICLES = 6192,                         // records allocated
    CURL_COUNT_MAX = 6191,                         // most particles processed per frame
    CURL_TABLE_SIDE = 1024,                        // table entries per row and per column
    CURL_TABLE_ENTRIES = CURL_TABLE_SIDE * CURL_TABLE_SIDE,
    CURL_TABLE_BYTES = CURL_TABLE_ENTRIES * 4,     // "curl.dat": entries (a, b) as int16, row-major
};

// Registered by curl_setup in this order, read from "curl.vars".
extern Cvar curl_motionnoisescale, curl_motionnoisetime, curl_motionnoisetween, curl_motionnoisebase,
    curl_motionstrength, curl_motionmaxvelo, curl_lifedecay, curl_spawnrate, curl_zoom, curl_particlelimit,
    curl_particleperframe;

struct CurlParticle {
    int32_t x[4];   // 16.16 ring of the last four positions; 0..65535 spans the picture width
    int32_t y[4];   // ... and the 180-row band
    float vx, vy;   // velocity in picture units per step
    int32_t dx, dy; // velocity in 16.16
    int32_t head;   // newest ring entry, 0..3
    int32_t birth;  // spawn time in 1/256 units of the effect's time
};

// The effect's state for the whole run.
struct CurlState {
    int16_t *table;          // CURL_TABLE_ENTRIES pairs (a, b)
    CurlParticle *particles; // CURL_PARTICLES records
    int32_t count;           // particles processed per frame, 0..CURL_COUNT_MAX
    int32_t next;            // record the next spawn overwrites
    int32_t parity;          // which half of the particles feels the field this frame
};
extern CurlState curlState;

// Fills the table: from "curl.dat" while a non-empty "curl.dat-dontcache"
// exists and the run does not ask for a rebuild, else by building it and
// saving it as "curl.dat" (not in a release run, which writes nothing). A
// cache of the wrong size, or one that cannot be read whole, is rebuilt.
// 1 when the table came from the cache.
int curl_prepareTable(const EffectContext *ctx);

// The flow field at (u, v): the curl of three octaves of noise.
void curl_field(double u, double v, float *a, float *b);
// Every entry from curl_field, truncated to 16 bits (about 12.6 million
// noise evaluations: the slow part of start-up).
void curl_buildTable(int16_t *table);
// The table at a 16.16 position blended with a drifting second sample (w of 2048 = all second).
void curl_sample(int32_t x, int32_t y, float t, int32_t w, float *a, float *b);
void curl_step(CurlParticle *p, int32_t w, float t, float strength, float maxvelo);
void curl_spawn(CurlParticle *p, int px, int py, int32_t birth);
void curl_scatter(CurlParticle *p);
