// Curl particles: particles spawned on the bright parts of the object layer,
// carried by a precomputed curl-noise flow field and drawn as additive
// streaks that fade with age.
#include "fx/curl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/common.h"
#include "core/parallel.h"
#include "core/startup.h"
#include "core/tables.h"
#include "cvar/cvarfile.h"
#include "data/data.h"
#include "fx/engtest.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "fx/noise.h"
#include "render/bitmap.h" // Required for: PICTURE_OFFSET_PIXELS
#include "core/mathfn.h"

// !!! "curl.dat" is the table's memory image, little-endian: a big-endian
// build would have to swap every entry when it loads and saves !!!
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "curl.dat is written as the table's memory image");

enum {
    SPAWN_GRID = 4,            // spawn candidates every 4 pixels, at a random phase
    SPAWN_MIN_GREEN = 32,      // picture pixels at most this green spawn nothing
    PICTURE_CENTRE = 32768,    // 16.16 centre of the picture, the zoom's fixed point
    STREAK_BRIGHT_BASE = 128,  // brightness of a resting particle
    FRAME_PAUSE_MS = 16,
};

static const double FIELD_STEP = 0.01; // half the distance of the noise differences
static const double FIELD_Z = 0.1233;  // the noise slice the field lies in
static const double UNIT = 1.52588e-5; // 16.16 to picture units

// ---------------------------------------------------------------------------
// Variables
// ---------------------------------------------------------------------------

Cvar curl_motionnoisescale = cvarDefine("curl_motionnoisescale", "0", 0, 10);
Cvar curl_motionnoisetime = cvarDefine("curl_motionnoisetime", "0", 0, 1);
Cvar curl_motionnoisetween = cvarDefine("curl_motionnoisetween", "0", 0, 10);
Cvar curl_motionnoisebase = cvarDefine("curl_motionnoisebase", "0", 0, 10);
Cvar curl_motionstrength = cvarDefine("curl_motionstrength", "0", 0, 1);
Cvar curl_motionmaxvelo = cvarDefine("curl_motionmaxvelo", "0", 0, 10);
Cvar curl_lifedecay = cvarDefine("curl_lifedecay", "0", 0, 10);
Cvar curl_spawnrate = cvarDefine("curl_spawnrate", "0", 0, 1);
Cvar curl_zoom = cvarDefine("curl_zoom", "1", 0.1f, 5);
Cvar curl_particlelimit = cvarDefine("curl_particlelimit", "0", 0, 6192);
Cvar curl_particleperframe = cvarDefine("curl_particleperframe", "0", 0, 50); // saved with the others; unread

static Cvar *const curlVars[] = {&curl_motionnoisescale, &curl_motionnoisetime, &curl_motionnoisetween,
                                 &curl_motionnoisebase,  &curl_motionstrength,  &curl_motionmaxvelo,
                                 &curl_lifedecay,        &curl_spawnrate,       &curl_zoom,
                                 &curl_particlelimit,    &curl_particleperframe};
static Cvar *const curlTrackedList[] = {&curl_motionstrength, &curl_spawnrate};
const CvarList curl_vars = cvarListOf(curlVars);
const CvarList curl_tracked = cvarListOf(curlTrackedList);

CurlState curlState;

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

static double randUnit(void)
{
    return vt::rand() * 3.051851e-5; // 0..1
}

// 16.16 positions wrap as the 32-bit registers they were written for do.
static int32_t wrapAdd(int32_t a, int32_t b)
{
    return (int32_t)((uint32_t)a + (uint32_t)b);
}

static void setVelocity(CurlParticle *p, float vx, float vy)
{
    p->vx = vx;
    p->vy = vy;
    p->dx = truncInt(vx * 65536.0); // 16.16
    p->dy = truncInt(vy * 65536.0);
}

static void placeAll(CurlParticle *p, double x, double y)
{
    for (int i = 0; i < 4; i++) {
        p->x[i] = truncInt(x * 65536.0); // 16.16
        p->y[i] = truncInt(y * 65536.0);
    }
}

// Moves the ring on by one entry along the stored 16.16 velocity, four
// steps of it at a time.
static void advanceRing(CurlParticle *p)
{
    int32_t head = p->head & 3, next = (head + 1) & 3;
    p->x[next] = wrapAdd(p->x[head], (int32_t)(4u * (uint32_t)p->dx));
    p->y[next] = wrapAdd(p->y[head], (int32_t)(4u * (uint32_t)p->dy));
    p->head = next;
}

// One octave's curl: (-dN/dy, dN/dx) over differences 2e apart, times 50.
static void fieldOctave(float x, float y, float *a, float *b)
{
    const float z = (float)FIELD_Z;
    *a = (float)(noise3(x, (float)(y - FIELD_STEP), z) - noise3(x, (float)(y + FIELD_STEP), z)) * 50.0f;
    *b = (float)(noise3((float)(x + FIELD_STEP), y, z) - noise3((float)(x - FIELD_STEP), y, z)) * 50.0f;
}

// The cached table, when "curl.dat" has exactly the table's size and reads
// whole; anything else is a damaged cache.
static int loadTable(int16_t *table)
{
    int32_t size = dataFileSize("curl.dat");
    if (size != CURL_TABLE_BYTES) {
        LOG_TAGGED("curl.dat has %d bytes, not %d: building the table", size, (int)CURL_TABLE_BYTES);
        return 0;
    }
    DataFile *file = dataFileOpen("curl.dat");
    int32_t got = file ? dataFileRead(file, table, CURL_TABLE_BYTES) : 0;
    dataFileClose(file);
    if (got != CURL_TABLE_BYTES) {
        LOG_TAGGED("curl.dat could not be read whole: building the table");
        return 0;
    }
    return 1;
}

// Zoom about the picture centre; 0..65535 is inside the picture.
static int64_t zoomed(int32_t v, int64_t zoom)
{
    return (((int64_t)v - PICTURE_CENTRE) * zoom >> 8) + PICTURE_CENTRE;
}

static void drawParticle(uint32_t *band, const CurlParticle *p, int64_t zoom, int32_t now, int32_t decay)
{
    int n = p->head & 3, o = (p->head + 1) & 3;
    int64_t s[4] = {zoomed(p->x[n], zoom), zoomed(p->y[n], zoom), zoomed(p->x[o], zoom), zoomed(p->y[o], zoom)};
    for (int64_t v : s) {
        if (v < 0 || v > 65535)
            return; // a streak leaving the picture at either end is not drawn
    }
    // In doubles: ages and decays from tracks and files can be anything. A
    // time running backwards gives more than full life; the colour saturates.
    double life = 65535.0 - ((double)now - p->birth) * (double)decay;
    if (!(life > 0.0))
        return;
    uint64_t speed = (uint64_t)((int64_t)p->dy * p->dy) + (uint64_t)((int64_t)p->dx * p->dx);
    int64_t light = (int64_t)std::min<uint64_t>((speed >> 8) + STREAK_BRIGHT_BASE, 255);
    int32_t c = (int32_t)std::min<int64_t>((light * (int64_t)std::min(life, 16777216.0)) >> 16, 255);
    // To sixteenths of a pixel: 65535 maps to 5119 across, 2879 down, inside
    // the 320 x 180 band. c (0..255) adds to every byte, the fourth included.
    fxAddStreak(band, (int32_t)(s[0] * 320 >> 12), (int32_t)(s[1] * 180 >> 12), (int32_t)(s[2] * 320 >> 12),
                (int32_t)(s[3] * 180 >> 12), (uint32_t)c * 0x01010101u);
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

void curl_field(double u, double v, float *a, float *b)
{
    double s = curl_motionnoisescale.value;
    float x1 = (float)(u * 10 * s), y1 = (float)(s * (10 * v));
    float x2 = (float)(x1 * 0.5), y2 = (float)(0.5 * y1);
    float x3 = (float)(x2 * 0.5), y3 = (float)(0.5 * y2);
    float a1, b1, a2, b2, a3, b3;
    fieldOctave(x1, y1, &a1, &b1);
    fieldOctave(x2, y2, &a2, &b2);
    fieldOctave(x3, y3, &a3, &b3);
    *a = a1 + 0.5f * a2 + 0.25f * a3;
    *b = b1 + 0.5f * b2 + 0.25f * b3;
}

// One row of the table; rows are independent, so they are built in parallel.
static void buildTableRow(int r, void *context)
{
    int16_t *table = (int16_t *)context;
    for (int c = 0; c < CURL_TABLE_SIDE; c++) {
        float a, b;
        curl_field(c * 0.0009765625 * 4, r * 0.0009765625 * 4, &a, &b);
        int16_t *entry = table + 2 * (r * CURL_TABLE_SIDE + c);
        entry[0] = (int16_t)truncInt(a); // wraps past 16 bits, as the cache always held it
        entry[1] = (int16_t)truncInt(b);
    }
}

void curl_buildTable(int16_t *table)
{
    parallelFor(CURL_TABLE_SIDE, buildTableRow, table);
}

void curl_sample(int32_t x, int32_t y, float t, int32_t w, float *a, float *b)
{
    const int16_t *table = curlState.table;
    int32_t i1 = ((y >> 8) & 1023) * 1024 + ((x >> 8) & 1023); // the picture covers 256 x 256 entries
    int32_t c2 = truncInt((x * UNIT + t * 0.5) * 230.45468) & 1023;
    int32_t r2 = truncInt(y * UNIT * 229.7774) & 1023;
    int32_t i2 = r2 * 1024 + c2;
    int64_t a1 = table[2 * i1], b1 = table[2 * i1 + 1];
    *a = (float)(a1 + (((table[2 * i2] - a1) * w) >> 11));
    *b = (float)(b1 + (((table[2 * i2 + 1] - b1) * w) >> 11));
}

void curl_step(CurlParticle *p, int32_t w, float t, float strength, float maxvelo)
{
    int32_t head = p->head & 3;
    float a, b;
    curl_sample(p->x[head], p->y[head], t, w, &a, &b);
    // The push grows from the picture's left edge (x = -0.1) to the right.
    float f = (float)((double)std::max<int64_t>(0, (int64_t)p->x[head] + 6553) * UNIT * strength);
    float vx = p->vx + (a + curl_motionnoisebase.value * 100) * f;
    float vy = p->vy + b * f;
    if (maxvelo * maxvelo < vx * vx + vy * vy) {
        vx *= 0.95f; // braked once per step, never clamped
        vy *= 0.95f;
    }
    setVelocity(p, vx, vy);
    advanceRing(p);
}

void curl_scatter(CurlParticle *p)
{
    double angle = randUnit() * 6.3;
    double k = randUnit() * 0.4 + 0.5;
    double sa = 0.1 * mth_sin(angle), ca = 0.1 * mth_cos(angle);
    placeAll(p, sa * 0.3 * k + 0.5, 0.5 + 0.3 * ca * k);
    setVelocity(p, (float)(sa * 0.01 * k), (float)(k * (0.01 * ca)));
    p->head = 0;
    p->birth = 0;
}

void curl_spawn(CurlParticle *p, int px, int py, int32_t birth)
{
    vt::rand(); // a draw the spawn has always skipped
    double k = randUnit() * 0.4 + 0.5;
    double nx = (px - 160) * 0.003125;
    double ny = (float)((py - 90) * 0.0055555557);
    double distance = fastSqrt(nx * nx + ny * ny);
    // Away from the centre at 0.001 k per step; a spawn on the centre itself
    // has no direction and starts at rest.
    double q = distance > 0.0 ? 0.1 / distance : 0.0;
    placeAll(p, nx + 0.5, ny + 0.5);
    setVelocity(p, (float)(q * nx * 0.01 * k), (float)(k * (0.01 * (q * ny))));
    p->head = 0;
    p->birth = birth;
}

int curl_prepareTable(const EffectContext *ctx)
{
    StartupScope phase(STARTUP_CURL);
    if (!ctx->rebuild && dataFileSize("curl.dat-dontcache") != 0 && loadTable(curlState.table))
        return 1;
    curl_buildTable(curlState.table);
    if (!ctx->release)
        dataSaveFile("curl.dat", curlState.table, CURL_TABLE_BYTES); // reports its own failure
    return 0;
}

void curl_setup(const EffectContext *ctx)
{
    engtest_setup(ctx);
    CvarRegisterList(&curl_vars);
    CvarAddFile("curl.vars");
    CvarLoad();

    curlState.particles = (CurlParticle *)allocAligned(CURL_PARTICLES, sizeof(CurlParticle));
    curlState.table = (int16_t *)allocAligned(CURL_TABLE_ENTRIES, 4);
    if (curlState.table)
        curl_prepareTable(ctx);
    if (curlState.particles) {
        for (int i = 0; i < CURL_PARTICLES; i++)
            curl_scatter(&curlState.particles[i]);
    }
}

// The particles spawn where the picture is bright, at places the generator
// picks, and live on from frame to frame.
void curl_carry(const EffectContext *, CarryMap *map, float)
{
    const uint32_t state = CARRY_PICTURE | CARRY_RANDOM | carryOwn(FX_CURL);
    carryChange(map, state, state);
}

int curl_carried(CarriedBlock *blocks, int max)
{
    CurlState *st = &curlState;
    const CarriedBlock kept[] = {{st->particles, st->particles ? CURL_PARTICLES * sizeof(CurlParticle) : 0},
                                 {&st->count, sizeof st->count},
                                 {&st->next, sizeof st->next},
                                 {&st->parity, sizeof st->parity}};
    return carryHandOut(kept, 4, blocks, max);
}

void curl_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    int32_t now = truncInt(t * 256.0);
    engtest_render(ctx, pixels, (float)(t * 0.3));
    CurlState *st = &curlState;
    if (!st->particles || !st->table) {
        fxPause(ctx, FRAME_PAUSE_MS);
        return;
    }

    double T = t * 50.0 * curl_motionnoisetime.value * 0.01;
    float ts = (float)(0.25 * T);
    double T2 = T * curl_motionnoisetween.value;
    int32_t w = truncInt((mth_cos(0.3172 * T2 + 0.1241) * 0.3 + (mth_sin(T2) + 1.0) * 0.5) * 2048.0);
    float strength = (float)(curl_motionstrength.value * 1e-5);
    float maxvelo = (float)(curl_motionmaxvelo.value * 0.008);
    int32_t limit = std::min(truncInt(curl_particlelimit.value), (int32_t)CURL_COUNT_MAX);
    // Zooms past 2^30 / 256 would overflow the 64-bit zoom arithmetic; nothing shows there anyway.
    int64_t zoom = std::clamp<int64_t>(truncInt(curl_zoom.value * 256.0), -(1 << 30), 1 << 30);
    int32_t decay = truncInt(curl_lifedecay.value * 256.0);
    st->parity ^= 1;

    // Spawn on the picture's bright pixels; a higher rate spawns fewer.
    uint32_t *band = pixels + PICTURE_OFFSET_PIXELS;
    int x0 = vt::rand() % SPAWN_GRID;
    int y0 = vt::rand() % SPAWN_GRID;
    int32_t threshold = truncInt(curl_spawnrate.value * 127.0);
    for (int py = y0; py < PICTURE_ROWS; py += SPAWN_GRID) {
        for (int px = x0; px < FRAME_WIDTH; px += SPAWN_GRID) {
            int32_t r = vt::rand() & 127;
            if (r <= threshold || ((band[py * FRAME_WIDTH + px] >> 8) & 0xFF) <= SPAWN_MIN_GREEN)
                continue;
            curl_spawn(&st->particles[st->next], px, py, now);
            if (st->count != CURL_COUNT_MAX)
                st->count++;
            st->next = st->next + 1 >= limit ? 0 : st->next + 1;
        }
    }
    if (st->count > limit)
        st->count = limit;
    if (st->count < 1) {
        fxPause(ctx, FRAME_PAUSE_MS);
        return;
    }

    // Each particle feels the field every second frame and moves every frame.
    for (int i = 0; i < st->count; i++) {
        CurlParticle *p = &st->particles[i];
        if ((i & 1) == st->parity)
            curl_step(p, w, ts, strength, maxvelo);
        else
            advanceRing(p);
        if (!ctx->unseen)
            drawParticle(band, p, zoom, now, decay);
    }
    fxPause(ctx, FRAME_PAUSE_MS);
}
