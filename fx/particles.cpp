// Particles: the points of a LightWave point cloud drawn as glowing additive
// streaks from where each was one frame earlier, seen by a camera that flies a
// keyed path and looks at a second keyed point.
#include "fx/particles.h"

#include <algorithm>
#include <cstdlib>

#include "core/common.h"
#include "core/tables.h" // Required for: fastSqrt()
#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/objfile.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "render/motion.h"
#include "render/scene.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const char *const CLOUD_SOURCE = "lwobj/particle_test1.lwo";
static const char *const CLOUD_CONVERTED = "lwobj/particle_test1.lwo.lob";

static const double RAND_UNIT = 3.0518509e-5; // rand() (0..32767) to 0..1
static const double TWO_PI = 6.283185307179586;

static const float NEAR_Z = 30.0f;
static const float MOTION_RATE = 25.0f;   // motion time units per unit of t
static const float HEIGHT_KEEP = 0.1f;    // of the keyed heights; the rest follows particle_elevation
static const double CLOUD_RADIUS = 1000.0;

enum {
    SCATTER_EVERY = 16,        // one vertex in 16 is thrown somewhere into the box
    FRAME_PAUSE_MS = 16,
    BAND_TOP_FIXED = 30 * 256,       // 24.8: particles are drawn on rows 30..210
    BAND_BOTTOM_FIXED = 210 * 256,
    STREAK_MAX = 4096,               // 24.8: streaks are cut to 16 pixels
    STREAK_MIN_SQUARED = 65536,      // up to one pixel long a streak is a point
    STRIPE_GLOW = 0x7F7F7F7F,
    // Streak ends in sixteenths of a pixel: columns 0..319, rows 30..210.
    STREAK_X_MAX = FRAME_WIDTH * 16 - 1,
    STREAK_Y_MIN = 30 * 16,
    STREAK_Y_SPAN = 180 * 16,
};

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

static Cvar particle_elevation = cvarDefine("particle_elevation", "0", -1, 2);
static Cvar particle_zoom = cvarDefine("particle_zoom", "128", 32, 512);
static Cvar particle_shading_period = cvarDefine("particle_shading_period", "1", 0, 1);
static Cvar particle_shading_stripe1 = cvarDefine("particle_shading_stripe1", "0", 0, 1000);
static Cvar particle_shading_stripe2 = cvarDefine("particle_shading_stripe2", "0", 0, 1000);
static Cvar particle_shading_stripesize = cvarDefine("particle_shading_stripesize", "0", 0, 500);

static Cvar *const particlesVarList[] = {&particle_elevation,       &particle_zoom,
                                         &particle_shading_period,  &particle_shading_stripe1,
                                         &particle_shading_stripe2, &particle_shading_stripesize};
static Cvar *const particlesTrackedList[] = {&particle_elevation, &particle_zoom};
const CvarList particles_vars = cvarListOf(particlesVarList);
const CvarList particles_tracked = cvarListOf(particlesTrackedList);

static Scene *scene;
static Object *cloud;  // null when the point cloud could not be loaded
static Object *camera;
static Object *target; // the camera's target; not one of the scene's objects
static int ready;
static int firstFrame = 1; // no previous positions to streak from yet

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

// Points only: no faces, no shading, the vertices carry the particles.
static void prepareCloud(Object *o)
{
    const float r = obj_GetRadius(o);
    if (r > 0.0f) {
        const double k = CLOUD_RADIUS / r;
        obj_Scale(o, k, k, k);
    }
    o->lighting = 10;
    obj_SetProperty(o, PROP_MODE, MODE_FLAT);
    obj_SetProperty(o, PROP_DOUBLE_SIDED, 0);
    obj_SetProperty(o, PROP_OUTLINE, 0);
    obj_SetProperty(o, PROP_COLOUR, 0xFFFFFFFFu);
    obj_BuildShadeTable(o, 0, 256, 1.0);
    obj_UpdateFlags(o);
    o->hasGeometry = 0;

    // Every sixteenth point becomes dust somewhere in the bounding box.
    double extent[3], low[3];
    for (int i = 0; i < 3; i++) {
        low[i] = o->boxMin[i];
        extent[i] = (double)o->boxMax[i] - o->boxMin[i];
    }
    for (int i = 0; i < o->vertexCount; i += SCATTER_EVERY) {
        Vertex *v = &o->vertices[i];
        v->x = truncInt(vt::rand() * RAND_UNIT * extent[0] + low[0]);
        v->y = truncInt(vt::rand() * RAND_UNIT * extent[1] + low[1]);
        v->z = truncInt(vt::rand() * RAND_UNIT * extent[2] + low[2]);
    }
}

// ---------------------------------------------------------------------------
// Particle drawing
// ---------------------------------------------------------------------------

ParticleShading particles_shading(void)
{
    return {truncInt(particle_shading_period.value * 65536.0), truncInt(particle_shading_stripe1.value),
            truncInt(particle_shading_stripe2.value), truncInt(particle_shading_stripesize.value)};
}

uint32_t particles_colour(const ParticleShading *shading, int32_t y, int32_t cz)
{
    const int64_t q = ((int64_t)y * shading->period) >> 16; // radians
    const int32_t index = truncInt((double)q / TWO_PI * SIN_TABLE_SIZE) & (SIN_TABLE_SIZE - 1);
    const int32_t c = truncInt(sin_table[index] * 127.0f + 129.0f); // 2..256
    uint32_t colour = 0xFF000000u | (uint32_t)((48 * c) >> 8) << 16 | (uint32_t)(c >> 2) << 8 |
                      (uint32_t)((96 * c) >> 8);
    const int64_t z = cz >> 8;
    const int64_t d = std::min(std::abs(z - shading->stripe1), std::abs(z - shading->stripe2));
    if (d < shading->stripeSize)
        colour = pixelAddSaturate(colour, STRIPE_GLOW);
    return colour;
}

void particles_recordVertex(Vertex *v)
{
    v->u = (v->sx & ~1) | (v->clipFlags == 0 ? 1 : 0);
    v->v = v->sy;
}

void particles_drawVertex(uint32_t *frame, Vertex *v, const ParticleShading *shading)
{
    // Off screen now or last frame: nothing to streak from.
    if (!(v->u & 1) || v->clipFlags != 0) {
        particles_recordVertex(v);
        return;
    }
    const int32_t sx = v->sx, sy = v->sy;
    if (sy >= BAND_TOP_FIXED && sy <= BAND_BOTTOM_FIXED && sx >= 0 && sx < FRAME_WIDTH * 256) {
        // Twice the way back to last frame's position (u still carries its
        // flag bit); 64 bits, as a particle may cross the whole screen.
        int64_t dx = 2 * ((int64_t)v->u - sx), dy = 2 * ((int64_t)v->v - sy);
        const int64_t lengthSquared = dx * dx + dy * dy;
        const uint32_t colour = particles_colour(shading, v->y, v->cz);
        if (lengthSquared > (int64_t)STREAK_MAX * STREAK_MAX) {
            const double k = STREAK_MAX / fastSqrt((double)lengthSquared);
            dx = truncInt((double)dx * k);
            dy = truncInt(k * (double)dy);
        }
        if (lengthSquared > STREAK_MIN_SQUARED) {
            const int32_t x0 = sx >> 4, y0 = sy >> 4; // 24.8 -> sixteenths
            const int64_t x1 = (sx + dx) >> 4, y1 = (sy + dy) >> 4;
            // A streak whose far end leaves the band is not drawn; one ending
            // at column 320 is held on the last column. Both ends then lie in
            // the band, and so does every pixel between them.
            if (y1 >= STREAK_Y_MIN && y1 <= STREAK_Y_MIN + STREAK_Y_SPAN && x1 >= 0 && x1 <= STREAK_X_MAX + 1)
                fxAddStreak(frame, x0, y0, (int32_t)std::min<int64_t>(x1, STREAK_X_MAX), (int32_t)y1, colour);
        } else {
            uint32_t *px = frame + (sy >> 8) * FRAME_WIDTH + (sx >> 8);
            *px = pixelAddSaturate(*px, colour);
        }
    }
    v->u = sx | 1;
    v->v = sy;
}

Object *particles_cloud(void)
{
    return cloud;
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

void particles_setup(const EffectContext *)
{
    CvarRegisterList(&particles_vars);
    CvarAddFile("particles.vars"); // read by a later setup

    scene = (Scene *)calloc(1, sizeof(Scene));
    cloud = objLoadCached(CLOUD_SOURCE, CLOUD_CONVERTED, true);
    if (cloud)
        prepareCloud(cloud);
    else
        LOG_TAGGED("no point cloud in %s: the particles draw an empty frame", CLOUD_SOURCE);

    camera = obj_CreateCamera();
    target = obj_CreateLight();
    if (!scene || !camera || !target) {
        LOG_TAGGED("no memory for the particles' scene: the particles draw an empty frame");
        return;
    }
    // Both paths loop; the camera looks at the target's point.
    camera->motion = fxKeyedMotion(fxCameraKeys, FX_CAMERA_KEYS);
    target->motion = fxKeyedMotion(fxLightKeys, FX_LIGHT_KEYS);
    scene->camera = camera;
    if (cloud)
        scn_AddObject(scene, cloud);
    scn_Lock(scene);
    ready = 1;
}

// The frame is cleared, then each particle streaks from where the last
// particles frame saw it to where it is now, and that is kept for the next.
void particles_carry(const EffectContext *ctx, CarryMap *map, float)
{
    if (!ctx->view || !ready) {
        carryChange(map, CARRY_PICTURE, 0);
        return;
    }
    carryChange(map, CARRY_PICTURE, carryOwn(FX_PARTICLES));
    carryChange(map, carryOwn(FX_PARTICLES), 0);
}

int particles_carried(CarriedBlock *blocks, int max)
{
    const CarriedBlock kept[] = {{cloud ? cloud->vertices : nullptr,
                                  cloud ? (size_t)cloud->vertexCount * sizeof(Vertex) : 0},
                                 {&firstFrame, sizeof firstFrame}};
    return carryHandOut(kept, 2, blocks, max);
}

void particles_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    RenderView *view = ctx->view;
    if (!pixels || !view || !ready) {
        if (pixels)
            std::fill_n(pixels, FRAME_WIDTH * FRAME_HEIGHT, 0xFF000000u);
        fxPause(ctx, FRAME_PAUSE_MS);
        return;
    }
    camera->focalLength = particle_zoom.value;
    view->nearZ = NEAR_Z;

    const float m = t * MOTION_RATE;
    obj_ApplyMotion(camera, m);
    obj_ApplyMotion(target, m);
    // The height the camera and its target hover at; an empty cloud has none.
    float h = 0.0f;
    if (cloud) {
        const double height = (double)cloud->boxMax[1] - cloud->boxMin[1];
        h = (float)(height * particle_elevation.value + cloud->boxMin[1]);
    }
    camera->position[1] = camera->position[1] * HEIGHT_KEEP + h;
    target->position[1] = target->position[1] * HEIGHT_KEEP + h;
    // The renderer builds matrices only for the scene's own objects: the
    // target's stays as created, its translation at the origin, so the camera
    // keeps the middle of the cloud in view wherever its path takes it.
    camera->target = target;
    camera->hasTarget = 1;

    std::fill_n(pixels, FRAME_WIDTH * FRAME_HEIGHT, 0xFF000000u);
    scn_Render(view, scene, pixels);

    if (cloud) {
        if (firstFrame) {
            for (int i = 0; i < cloud->vertexCount; i++)
                particles_recordVertex(&cloud->vertices[i]);
        } else {
            const ParticleShading shading = particles_shading();
            for (int i = 0; i < cloud->vertexCount; i++)
                particles_drawVertex(pixels, &cloud->vertices[i], &shading);
        }
    }
    firstFrame = 0;
    fxPause(ctx, FRAME_PAUSE_MS);
}
