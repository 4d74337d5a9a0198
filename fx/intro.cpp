// The opening: the logo laid over the band, a field of stars splatted with
// sub-pixel weights, and 64 shards growing out of the centre as smooth curves
// through their projected paths, with two travelling bands of a second colour.
#include "fx/intro.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/image.h"
#include "fx/fx.h"
#include "core/common.h"
#include "post/filter.h"    // Required for: pictureCopy()
#include "render/bitmap.h"  // Required for: pixelAddSaturate()
#include "render/motion.h"  // Required for: spline_CatmullRom2D()
#include "render/raster.h"  // Required for: line_Draw2D(), CLIP_NEAR
#include "render/scene.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const char *const LOGO_NAME = "backgrounds/morla/morla_podlogo_10pc.png";

static const double RAND_UNIT = 3.051851e-5; // rand() (0..32767) to 0..1

static const float NEAR_Z = 30.0f;
static const float CAMERA_Z = -1000.0f;
static const float CURVE_STEP = 0.07f;          // curve parameter per line piece
static const float FAN_STEP = 0.015873017f;     // 1 / 63: shard i turns i / 63 of the fan
static const float FAN_DEGREES = 180.0f;
// Spline points are handed on as 24.8 floats; beyond this they would no longer
// truncate to an int32 and the line outcodes would name the wrong side.
static const float CURVE_COORD_LIMIT = 1073741824.0f; // 2^30

enum {
    STAR_SPREAD = 3000,  // the cloud fills a cube of this side around the origin
    STAR_GREY = 80,      // brightness of a star whose weight sits on one pixel
    SHARD_STEP = 50,     // horizontal scale of a shard's path
};

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

static Cvar intro_diffuse = cvarDefine("intro_diffuse", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);
static Cvar intro_shadecolor = cvarDefine("intro_shadecolor", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);
static Cvar intro_zoom = cvarDefine("intro_zoom", "128", 32, 512);
static Cvar intro_time = cvarDefine("intro_time", "0", 0, 21);
static Cvar intro_shading_stripe1 = cvarDefine("intro_shading_stripe1", "0", 0, 21);
static Cvar intro_shading_stripe2 = cvarDefine("intro_shading_stripe2", "0", 0, 21);
static Cvar intro_shading_stripewidth = cvarDefine("intro_shading_stripewidth", "0.1", 0.1f, 12);
static Cvar intro_spread = cvarDefine("intro_spread", "0", 0, 1);
static Cvar intro_angle_x = cvarDefine("intro_angle_x", "0", 0, 180);
static Cvar intro_angle_y = cvarDefine("intro_angle_y", "0", 0, 360);

static Cvar *const introVarList[] = {&intro_diffuse,         &intro_shadecolor,          &intro_zoom,
                                     &intro_time,            &intro_shading_stripe1,     &intro_shading_stripe2,
                                     &intro_shading_stripewidth, &intro_spread,          &intro_angle_x,
                                     &intro_angle_y};
static Cvar *const introTrackedList[] = {&intro_zoom,   &intro_shading_stripe1, &intro_shading_stripe2,
                                         &intro_spread, &intro_angle_x,         &intro_angle_y};
const CvarList intro_vars = cvarListOf(introVarList);
const CvarList intro_tracked = cvarListOf(introTrackedList);

static Texture *logo;      // 320 x 180, or null: the band is then left as it is
static Scene *scene;
static Object *parent;     // turns everything about x
static Object *cloud;      // the stars, as vertices without faces
static Object *camera;
static IntroShard shards[INTRO_SHARDS];
static int ready;          // setup built the scene
static int timeCopy;       // intro_time follows the time argument

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

static double randUnit(void)
{
    return vt::rand() * RAND_UNIT;
}

// A colour variable as a pixel word: alpha * 250, red, green and blue * 255.
// Components outside 0..1 (a file or console may set any) saturate in their
// own byte instead of spilling into the neighbouring one.
static uint32_t colourWord(const Cvar *c)
{
    auto byte = [](double v) { return (uint32_t)std::clamp(truncInt(v), 0, 255); };
    return byte(c->vec[3] * 250.0) << 24 | byte(c->vec[0] * 255.0) << 16 | byte(c->vec[1] * 255.0) << 8 |
           byte(c->vec[2] * 255.0);
}

// Unlit, never filled: the objects only carry points through the projection.
// The parent and the cloud also switch off double sides and outlines.
static void makePointCarrier(Object *o, int singleSided)
{
    o->lighting = 5;
    obj_SetProperty(o, PROP_MODE, MODE_NONE);
    if (singleSided) {
        obj_SetProperty(o, PROP_DOUBLE_SIDED, 0);
        obj_SetProperty(o, PROP_OUTLINE, 0);
    }
    obj_UpdateFlags(o);
    o->hasGeometry = 0;
}

// The shard's path: out from the centre along +x or -x in steps of 75 to 175
// units, with a vertical scatter that shrinks as 1 / k and a small depth
// wobble. Draws 2 + 4 * 10 + 1 numbers from the generator.
static int buildShard(IntroShard *shard)
{
    const float yAxis[3] = {0.0f, 1.0f, 0.0f};
    const float side = randUnit() * 360.0 > 180.0 ? 180.0f : 0.0f;
    float v = (float)(randUnit() * 2.0 + 1.0);
    float p2[3] = {0.0f, 0.0f, 0.0f};
    for (int k = 2; k < INTRO_SHARD_POINTS; k++) {
        const float a = (float)(randUnit() * 2.0);
        const float b = (float)(randUnit() * 600.0);
        float p[3] = {(float)(v + 0.5 - randUnit() * 0.5), (b - 300.0f) / (float)k, 1.0f - a};
        vec_RotateAxis(p, yAxis, side);
        shard->points[k][0] = p[0] * SHARD_STEP;
        shard->points[k][1] = p[1];
        shard->points[k][2] = p[2] * SHARD_STEP;
        v = (float)(v + 1.5 + randUnit() * 2.0);
        if (k == 2)
            std::copy(p, p + 3, p2);
    }
    const float n = std::sqrt(p2[0] * p2[0] + p2[1] * p2[1] + p2[2] * p2[2]) + 1e-5f;
    for (int i = 0; i < 3; i++) {
        shard->points[1][i] = p2[i] / n * SHARD_STEP;
        shard->points[0][i] = 0.0f;
    }
    shard->phase = (float)(randUnit() * 12.0);

    shard->object = obj_Create(INTRO_SHARD_POINTS, 0);
    if (!shard->object)
        return 0;
    makePointCarrier(shard->object, 0);
    return 1;
}

// ---------------------------------------------------------------------------
// Drawing passes
// ---------------------------------------------------------------------------

const IntroShard *intro_shard(int index)
{
    if (!ready || index < 0 || index >= INTRO_SHARDS)
        return nullptr;
    return &shards[index];
}

void intro_splatStar(uint32_t *frame, int32_t sx, int32_t sy)
{
    const int32_t fx = sx & 255, fy = sy & 255; // 24.8 fractions
    const int32_t px = sx >> 8, py = sy >> 8;   // 24.8 -> pixel
    const int32_t weight[4] = {((255 - fx) * (255 - fy)) >> 8, ((255 - fy) * fx) >> 8, ((255 - fx) * fy) >> 8,
                               (fy * fx) >> 8};
    for (int i = 0; i < 4; i++) {
        // The right and lower neighbours may fall past the row end or below
        // the frame: those parts of the star are dropped.
        const int64_t x = (int64_t)px + (i & 1), y = (int64_t)py + (i >> 1);
        if (x < 0 || x >= FRAME_WIDTH || y < 0 || y >= FRAME_HEIGHT)
            continue;
        const uint32_t g = (uint32_t)((weight[i] * STAR_GREY) >> 8);
        uint32_t *px32 = frame + y * FRAME_WIDTH + x;
        *px32 = pixelAddSaturate(*px32, 0xFF000000u | g << 16 | g << 8 | g);
    }
}

uint32_t intro_curveColour(const IntroCurveStyle *style, float u)
{
    const float w = style->halfWidth;
    const float d = std::min(std::fabs(u - style->stripe1), std::fabs(u - style->stripe2));
    if (!(d < w))
        return style->base;
    // 0 at the band's edge, 256 at its centre; an infinite width gives NaN.
    const int32_t blend = std::clamp(truncInt((w - d) * 256.0f / w), 0, 256);
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t dc = (int32_t)(style->base >> shift & 255), sc = (int32_t)(style->band >> shift & 255);
        out |= (uint32_t)(dc + (((sc - dc) * blend) >> 8)) << shift;
    }
    return out;
}

int intro_drawCurve(uint32_t *frame, const IntroShard *shard, const IntroCurveStyle *style, float time)
{
    if (!frame || !shard || !shard->object || shard->object->vertexCount < INTRO_SHARD_POINTS)
        return 0;
    const Vertex *vertex = shard->object->vertices;
    const float end = time - shard->phase;
    float previous[2];
    int havePrevious = 0, pieces = 0;
    // u runs from -phase: the shard waits until the time reaches its phase.
    // It ends after the last segment, so the loop is bounded whatever the time.
    for (float u = -shard->phase; u < end; u += CURVE_STEP) {
        if (u < 0.0f)
            continue;
        const int k = (int)std::floor(u);
        if (k >= INTRO_SHARD_SEGMENTS)
            break;
        const Vertex *v = vertex + k;
        if ((v[0].clipFlags | v[1].clipFlags | v[2].clipFlags | v[3].clipFlags) & CLIP_NEAR)
            continue;
        float s[4][2];
        for (int i = 0; i < 4; i++) {
            s[i][0] = (float)v[i].sx;
            s[i][1] = (float)v[i].sy;
        }
        float p[2];
        spline_CatmullRom2D(s[0], s[1], s[2], s[3], p, u - (float)k);
        p[0] = std::clamp(p[0], -CURVE_COORD_LIMIT, CURVE_COORD_LIMIT);
        p[1] = std::clamp(p[1], -CURVE_COORD_LIMIT, CURVE_COORD_LIMIT);
        if (havePrevious) {
            line_Draw2D(frame, previous, p, intro_curveColour(style, u));
            pieces++;
        }
        previous[0] = p[0];
        previous[1] = p[1];
        havePrevious = 1;
    }
    return pieces;
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

void intro_enableTimeCopy(void)
{
    timeCopy = 1;
}

void intro_setup(const EffectContext *)
{
    CvarRegisterList(&intro_vars);
    CvarAddFile("intro.vars"); // read by a later setup

    logo = imgLoad(LOGO_NAME);
    if (logo) {
        const Bitmap *b = logo->bitmap;
        if (!b || !b->pixels || b->format != BITMAP_RGB32 || b->width != FRAME_WIDTH ||
            b->height != PICTURE_ROWS) {
            LOG_TAGGED("%s is %d x %d, not 320 x 180: the band is left as it is", LOGO_NAME, b ? b->width : 0,
                       b ? b->height : 0);
            txt_FreeTexture(logo);
            logo = nullptr;
        }
    }

    scene = (Scene *)calloc(1, sizeof(Scene));
    parent = obj_CreateDummy();
    cloud = obj_Create(INTRO_STARS, 0);
    camera = obj_CreateCamera();
    if (!scene || !parent || !cloud || !camera) {
        LOG_TAGGED("no memory for the intro's scene: the intro draws nothing");
        return;
    }
    makePointCarrier(parent, 1);
    makePointCarrier(cloud, 1);
    for (int i = 0; i < INTRO_STARS; i++) {
        Vertex *v = &cloud->vertices[i];
        v->x = truncInt(randUnit() * STAR_SPREAD - STAR_SPREAD / 2);
        v->y = truncInt(randUnit() * STAR_SPREAD - STAR_SPREAD / 2);
        v->z = truncInt(randUnit() * STAR_SPREAD - STAR_SPREAD / 2);
    }

    scene->camera = camera;
    scn_AddObject(scene, parent);
    scn_AddObject(scene, cloud);
    for (IntroShard &shard : shards) {
        if (!buildShard(&shard)) {
            LOG_TAGGED("no memory for the intro's shards: the intro draws nothing");
            return;
        }
        scn_AddObject(scene, shard.object);
        shard.object->parent = parent;
    }
    cloud->parent = parent;
    scene->smallFacePool = 1;
    scn_Lock(scene);
    ready = 1;
    imgKeep(LOGO_NAME, logo, nullptr);
}

// The logo hides the band before anything else is drawn; without it the
// stars and curves land on what the band held.
void intro_carry(const EffectContext *ctx, CarryMap *map, float)
{
    if (!ready || !ctx->view)
        return;
    carryChange(map, CARRY_PICTURE, logo ? 0 : CARRY_PICTURE);
}

void intro_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    if (timeCopy)
        intro_time.value = t;
    RenderView *view = ctx->view;
    if (!ready || !pixels || !view)
        return;

    camera->focalLength = intro_zoom.value;
    view->nearZ = NEAR_Z;
    camera->position[0] = 0.0f;
    camera->position[1] = 0.0f;
    camera->position[2] = CAMERA_Z;
    parent->rotation[0] = intro_angle_x.value;
    parent->rotation[1] = parent->rotation[2] = 0.0f;
    cloud->rotation[0] = cloud->rotation[2] = 0.0f;
    cloud->rotation[1] = intro_angle_y.value;
    for (int i = 0; i < INTRO_SHARDS; i++) {
        const float fan = (float)i * FAN_STEP * FAN_DEGREES * intro_spread.value;
        Object *o = shards[i].object;
        for (int k = 0; k < INTRO_SHARD_POINTS; k++) {
            o->vertices[k].x = truncInt(shards[i].points[k][0]);
            o->vertices[k].y = truncInt(shards[i].points[k][1]);
            o->vertices[k].z = truncInt(shards[i].points[k][2]);
        }
        o->rotation[0] = o->rotation[2] = 0.0f;
        o->rotation[1] = intro_angle_y.value + fan;
    }

    // Nothing here has faces: the render only projects the stars and paths.
    scn_Render(view, scene, pixels);
    if (logo)
        pictureCopy(pixels + PICTURE_OFFSET_PIXELS, (const uint32_t *)logo->bitmap->pixels);

    for (int i = 0; i < INTRO_STARS; i++) {
        const Vertex &v = cloud->vertices[i];
        if (v.clipFlags == 0)
            intro_splatStar(pixels, v.sx, v.sy);
    }

    const IntroCurveStyle style = {colourWord(&intro_diffuse), colourWord(&intro_shadecolor),
                                   intro_shading_stripe1.value, intro_shading_stripe2.value,
                                   intro_shading_stripewidth.value};
    const float time = intro_time.value;
    for (const IntroShard &shard : shards)
        intro_drawCurve(pixels, &shard, &style, time);
}
