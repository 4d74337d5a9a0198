// The fish test: a camera on a slow Lissajous path inside a generated tube
// turned inside out, its texture cross-fading between seven pictures and
// scrolling along the tube, while boxes rise through it and every eighth one
// flashes.
#include "fx/fishtest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib> // Required for: exit()

#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/image.h"
#include "data/objfile.h"
#include "fx/fx.h"
#include "core/common.h"
#include "core/simd.h" // Required for: SSE2_OR_REF and the 16-bit lane cross-fade
#include "render/object.h"
#include "render/scene.h"
#include "render/view.h"
#include "core/mathfn.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

enum {
    TEXTURE_MESSAGE_LINE = 112, // the line tag the missing-texture message has always carried
    TUBE_VERTICES = FISH_TUBE_RINGS * FISH_TUBE_STEPS,                 // 1296
    TUBE_FACES = 2 * (FISH_TUBE_RINGS - 1) * (FISH_TUBE_STEPS - 1),    // 2400
    SHADE_LOW = 10,   // the shading ramp of tube and boxes
    SHADE_HIGH = 250,
    BOX_SEED = 123432, // every frame: each box keeps its x, z and starting height
    FLASH_EVERY = 8,
    FLASH_FIRST = 0,   // (i + flash) mod 8 selecting flash colour 1
    FLASH_SECOND = 3,  // ... and flash colour 2
};
static const char *const kBoxObject = "lwobj/simplecube.lobj";
static const double kTubeRadius = 350.0;
static const double kTubeRingStep = 49.382717; // 81 rings over 4000 units
static const double kTubeBottom = -2000.0;
static const float kTubeSeamStep = 17.066668f; // v per step: step 15 reaches 256, one turn
static const double kTubeNormal = 256.0;
static const double kTubeSize = 1000.0;   // the tube's farthest vertex after scaling
static const double kBoxSize = 8.0;       // the box's farthest vertex before it is stretched
static const double kBoxStretch = 5.0;    // boxes are five times as tall as wide
static const double kRandUnit = 3.0518509e-5; // 1 / 32767
static const float kNearZ = 10.0f;

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

static Cvar fishtest_boxcolor = cvarDefine("fishtest_boxcolor", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 0.8f, 0.8f, 1);
static Cvar fishtest_flashcolor1 = cvarDefine("fishtest_flashcolor1", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);
static Cvar fishtest_flashcolor2 = cvarDefine("fishtest_flashcolor2", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);
static Cvar fishtest_zoom = cvarDefine("fishtest_zoom", "128", 32, 512);
static Cvar fishtest_fish = cvarDefine("fishtest_fish", "0", -1, 1);
static Cvar fishtest_cameradist = cvarDefine("fishtest_cameradist", "0", -500, 0);
static Cvar fishtest_motionrange = cvarDefine("fishtest_motionrange", "0", 0, 100);
static Cvar fishtest_anglerange = cvarDefine("fishtest_anglerange", "0", 0, 100);
static Cvar fishtest_motionspeed = cvarDefine("fishtest_motionspeed", "1", 0, 10);
static Cvar fishtest_anglespeed = cvarDefine("fishtest_anglespeed", "1", 0, 10);
static Cvar fishtest_textureidx = cvarDefine("fishtest_textureidx", "0", 0, 6);
static Cvar fishtest_flashidx = cvarDefine("fishtest_flashidx", "0", 0, 10);

static Cvar *const fishVars[] = {
    &fishtest_boxcolor, &fishtest_flashcolor1, &fishtest_flashcolor2, &fishtest_zoom,
    &fishtest_fish, &fishtest_cameradist, &fishtest_motionrange, &fishtest_anglerange,
    &fishtest_motionspeed, &fishtest_anglespeed, &fishtest_textureidx, &fishtest_flashidx,
};
static Cvar *const fishTracked[] = {
    &fishtest_zoom, &fishtest_fish, &fishtest_cameradist, &fishtest_motionrange, &fishtest_anglerange,
    &fishtest_motionspeed, &fishtest_anglespeed, &fishtest_textureidx, &fishtest_flashidx,
};
const CvarList fishtest_vars = cvarListOf(fishVars);
const CvarList fishtest_tracked = cvarListOf(fishTracked);

static FishTest fish;
static Scene fishScene;
static bool fishBuilt; // the greetings may run the setup again: it returns at once
// The slots and weight the blend texture holds, so that a held cross-fade
// costs nothing.
static int fadeFrom = -1, fadeTo = -1, fadeWeight = -1;
static uint32_t fadeReloads; // imgReloads when the blend was made: a new picture makes it again

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

static uint8_t crossFadeByte(int a, int b, int w)
{
    const int A = a << LANE_FRAC, B = b << LANE_FRAC, W = w << LANE_FRAC; // to 9.7 lanes
    const int d = ((B - A) * W >> 16) * 2;                    // high half of the lane product, doubled
    return (uint8_t)std::clamp((A + d) >> LANE_FRAC, 0, 255); // the saturating pack of the lane kernel
}

// Slots and weight for a cross-fade position: slot floor(p) mod 7 fades into
// the next one with weight frac(p) * 256. Tracks may hand us any float, so
// the slot arithmetic stays in doubles and always lands in 0..6.
static void fadePosition(float position, int *from, int *to, int *weight)
{
    double p = std::isfinite(position) ? (double)position : 0.0;
    double whole = std::floor(p);
    int slot = (int)std::fmod(whole, (double)FISH_TEXTURES); // -6..6
    if (slot < 0)
        slot += FISH_TEXTURES;
    *from = slot;
    *to = (slot + 1) % FISH_TEXTURES;
    *weight = std::clamp(truncInt((p - whole) * 256.0), 0, 255);
}

// A colour variable as the 0xAARRGGBB the materials take; each channel is
// held to its byte, whatever the tracks or files put there.
static uint32_t packColour(const Cvar &colour)
{
    auto channel = [](float value, double scale) {
        return (uint32_t)std::clamp(truncInt(value * scale), 0, 255);
    };
    return channel(colour.vec[3], 250.0) << 24 | channel(colour.vec[0], 255.0) << 16 |
           channel(colour.vec[1], 255.0) << 8 | channel(colour.vec[2], 255.0);
}

static void loadTextures(void)
{
    for (int i = 0; i < FISH_TEXTURES; i++) {
        char name[64];
        snprintf(name, sizeof name, "textures/fish/txt%d.png", i + 1);
        Texture *t = imgLoad(name);
        const Bitmap *b = t ? t->bitmap : nullptr;
        if (!b || b->width != FISH_TEXTURE_SIDE || b->height != FISH_TEXTURE_SIDE || b->format != BITMAP_RGB32) {
            // Reported as the setup's, with the line tag logs have always shown for it.
            logTagged("fishtest1_setup", TEXTURE_MESSAGE_LINE, "Image %s not found or not 256x256\n", name);
            printf("\n");
            exit(10);
        }
        fish.textures[i] = t;
        imgKeep(name, t, nullptr);
    }
}

// The tube, turned inside out so that the camera inside sees its wall.
static Object *buildTube(void)
{
    std::vector<uint8_t> image;
    fishtest_tubeImage(&image);
    Object *tube = objParse(image.data(), image.size(), 1.0);
    if (!tube)
        return nullptr;
    float radius = obj_GetRadius(tube);
    if (radius > 0.0f)
        obj_Scale(tube, kTubeSize / radius, kTubeSize / radius, kTubeSize / radius);
    obj_FlipFaces(tube);
    obj_ComputeNormals(tube);
    tube->lighting = 10;
    obj_SetProperty(tube, PROP_MODE, MODE_TEXTURED);
    obj_SetProperty(tube, PROP_DOUBLE_SIDED, 0);
    obj_SetProperty(tube, PROP_OUTLINE, 0);
    obj_SetProperty(tube, PROP_COLOUR, 0xFFFFFFFF);
    obj_SetProperty(tube, PROP_TEXTURE, (uintptr_t)fish.blend);
    obj_BuildShadeTable(tube, SHADE_LOW, SHADE_HIGH, 3.0);
    obj_UpdateFlags(tube);
    tube->hasGeometry = 0; // the clipping pools are sized from the faces alone
    return tube;
}

// One box, in the scene; null when its object file is missing or refused,
// so that no box without data is ever drawn.
static Object *buildBox(void)
{
    Object *box = objLoad(kBoxObject, 100.0);
    if (!box)
        return nullptr;
    float radius = obj_GetRadius(box);
    if (radius > 0.0f)
        obj_Scale(box, kBoxSize / radius, kBoxSize / radius, kBoxSize / radius);
    box->lighting = 7;
    obj_SetProperty(box, PROP_MODE, MODE_FLAT);
    obj_SetProperty(box, PROP_DOUBLE_SIDED, 0);
    obj_SetProperty(box, PROP_OUTLINE, 0);
    obj_SetProperty(box, PROP_COLOUR, 0xFFFFFFFF);
    obj_BuildShadeTable(box, SHADE_LOW, SHADE_HIGH, 3.0);
    obj_UpdateFlags(box);
    box->hasGeometry = 0;
    box->alwaysVisible = 1;
    scn_AddObject(&fishScene, box);
    obj_Scale(box, 1.0, kBoxStretch, 1.0);
    return box;
}

static void crossFadeTextures(void)
{
    int from, to, weight;
    fadePosition(fishtest_textureidx.value, &from, &to, &weight);
    if (from == fadeFrom && to == fadeTo && weight == fadeWeight && fadeReloads == imgReloads)
        return;
    SSE2_OR_REF(fishtest_crossFadeSSE2, fishtest_crossFadeRef)(
        (const uint32_t *)fish.textures[from]->bitmap->pixels, (const uint32_t *)fish.textures[to]->bitmap->pixels,
        (uint32_t *)fish.blend->bitmap->pixels, FISH_TEXTURE_SIDE * FISH_TEXTURE_SIDE, weight);
    fadeFrom = from, fadeTo = to, fadeWeight = weight;
    fadeReloads = imgReloads;
}

static void moveCamera(Object *camera, double T)
{
    camera->focalLength = fishtest_zoom.value;
    camera->distortion = fishtest_fish.value * 1e-5f;
    camera->useDistortion = 1; // the bent projection
    const double M = T * fishtest_motionspeed.value, r = fishtest_motionrange.value;
    camera->position[0] = (float)(mth_sin(M * 0.001) * r);
    camera->position[1] = (float)(mth_sin(M * 0.0013 + 0.1341) * r);
    camera->position[2] = (float)(mth_cos(M * 0.0017 + 1.1341) * r + fishtest_cameradist.value);
    const double G = T * fishtest_anglespeed.value, a = fishtest_anglerange.value;
    camera->rotation[0] = (float)(mth_cos(G * 0.001) * a);
    camera->rotation[1] = (float)(mth_cos(G * 0.0013 + 0.1341) * a);
    camera->rotation[2] = (float)(mth_sin(G * 0.0017 + 1.1341) * a);
}

// u runs along the tube and scrolls with time; the renderer wraps it to the
// texture, so only its low 16 bits matter.
static void scrollTube(Object *tube, double T)
{
    tube->rotation[0] = tube->rotation[1] = tube->rotation[2] = 0.0f;
    const double shift = std::fmod(T * 128.0, 65536.0); // NaN for a time that is not finite
    const int32_t s = std::isfinite(shift) ? (int32_t)shift : 0;
    for (int i = 0; i < tube->vertexCount; i++) {
        Vertex *v = &tube->vertices[i];
        v->u = 32 * v->y + s; // |y| <= 1000 after scaling: no overflow
    }
}

static void placeBoxes(double T)
{
    const uint32_t flash = (uint32_t)truncInt(fishtest_flashidx.value); // wraps like the sum below
    const uint32_t plain = packColour(fishtest_boxcolor);
    const uint32_t flash1 = packColour(fishtest_flashcolor1), flash2 = packColour(fishtest_flashcolor2);
    vt::srand(BOX_SEED);
    for (int i = 0; i < FISH_BOXES; i++) {
        // Every box draws its three numbers, present or not, so that each
        // keeps its place in the sequence.
        const double x = vt::rand() * kRandUnit * 200.0 - 100.0;
        const double z = vt::rand() * kRandUnit * 200.0 - 100.0;
        const double rise = (i * 0.0078125 + 0.5) * T; // i / 128 + 0.5 units per time step
        const double y = std::fmod(vt::rand() * kRandUnit * 2000.0 + rise, 2000.0) - 1000.0;
        Object *box = fish.boxes[i];
        if (!box)
            continue;
        box->position[0] = (float)x, box->position[1] = (float)y, box->position[2] = (float)z;
        const uint32_t phase = ((uint32_t)i + flash) % FLASH_EVERY;
        const uint32_t colour = phase == FLASH_FIRST ? flash1 : phase == FLASH_SECOND ? flash2 : plain;
        obj_SetProperty(box, PROP_COLOUR, colour);
    }
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

const FishTest *fishtest_state(void)
{
    return fishBuilt ? &fish : nullptr;
}

void fishtest_tubeImage(std::vector<uint8_t> *out)
{
    std::vector<float> xyz(3 * TUBE_VERTICES), normals(3 * TUBE_VERTICES), uvs(2 * TUBE_VERTICES);
    for (int R = 0; R < FISH_TUBE_RINGS; R++) {
        for (int k = 0; k < FISH_TUBE_STEPS; k++) {
            const int i = FISH_TUBE_STEPS * R + k;
            const double theta = k * 24 * 3.141592653589793 * 0.005555555555555556; // 24 degrees a step
            xyz[3 * i + 0] = (float)(mth_sin(theta) * kTubeRadius);
            xyz[3 * i + 1] = (float)(R * kTubeRingStep + kTubeBottom);
            xyz[3 * i + 2] = (float)(mth_cos(theta) * kTubeRadius);
            normals[3 * i + 0] = (float)(kTubeNormal * mth_sin(theta));
            normals[3 * i + 1] = 0.0f;
            normals[3 * i + 2] = (float)(kTubeNormal * mth_cos(theta));
            uvs[2 * i + 0] = 0.0f;                   // u is rewritten every frame
            uvs[2 * i + 1] = (float)k * kTubeSeamStep; // v runs once around
        }
    }
    std::vector<uint16_t> faces;
    faces.reserve(4 * TUBE_FACES);
    for (int R = 0; R + 1 < FISH_TUBE_RINGS; R++) {
        for (int k = 0; k + 1 < FISH_TUBE_STEPS; k++) { // no face from step 15 back to step 0
            const int i = FISH_TUBE_STEPS * R + k;
            faces.insert(faces.end(), {(uint16_t)i, (uint16_t)(i + 1), (uint16_t)(i + FISH_TUBE_STEPS), 0});
            faces.insert(faces.end(), {(uint16_t)(i + FISH_TUBE_STEPS), (uint16_t)(i + 1),
                                       (uint16_t)(i + FISH_TUBE_STEPS + 1), 0});
        }
    }
    objEncode(xyz.data(), TUBE_VERTICES, faces.data(), TUBE_FACES, OBJ_FLAG_NORMALS | OBJ_FLAG_TEXCOORDS,
              normals.data(), uvs.data(), out);
}

void fishtest_crossFadeRef(const uint32_t *a, const uint32_t *b, uint32_t *out, int count, int w)
{
    for (int i = 0; i < count; i++) {
        uint32_t pixel = 0;
        for (int shift = 0; shift < 32; shift += 8)
            pixel |= (uint32_t)crossFadeByte(a[i] >> shift & 255, b[i] >> shift & 255, w) << shift;
        out[i] = pixel;
    }
}

#ifdef VANTOREL_SSE2
void fishtest_crossFadeSSE2(const uint32_t *a, const uint32_t *b, uint32_t *out, int count, int w)
{
    const __m128i zero = _mm_setzero_si128(), weight = _mm_set1_epi16((int16_t)(w << LANE_FRAC));
    auto lanes = [&](__m128i pa, __m128i pb) {
        const __m128i A = _mm_slli_epi16(pa, LANE_FRAC), B = _mm_slli_epi16(pb, LANE_FRAC); // to 9.7
        const __m128i d = _mm_slli_epi16(_mm_mulhi_epi16(_mm_sub_epi16(B, A), weight), 1);
        return _mm_srai_epi16(_mm_add_epi16(A, d), LANE_FRAC);
    };
    int i = 0;
    for (; i + 4 <= count; i += 4) { // four pixels, sixteen bytes, two rows of eight lanes
        const __m128i pa = _mm_loadu_si128((const __m128i *)(a + i));
        const __m128i pb = _mm_loadu_si128((const __m128i *)(b + i));
        const __m128i lo = lanes(_mm_unpacklo_epi8(pa, zero), _mm_unpacklo_epi8(pb, zero));
        const __m128i hi = lanes(_mm_unpackhi_epi8(pa, zero), _mm_unpackhi_epi8(pb, zero));
        _mm_storeu_si128((__m128i *)(out + i), _mm_packus_epi16(lo, hi)); // clamps to 0..255
    }
    fishtest_crossFadeRef(a + i, b + i, out + i, count - i, w);
}
#endif

void fishtest1_setup(const EffectContext *)
{
    if (fishBuilt)
        return;
    fishBuilt = true;
    CvarRegisterList(&fishtest_vars);
    CvarAddFile("fishtest1.vars"); // read by a later setup

    loadTextures();
    fish.blend = txt_CreateTexture(FISH_TEXTURE_SIDE, FISH_TEXTURE_SIDE, BITMAP_RGB32);
    fish.scene = &fishScene;
    fish.tube = buildTube();
    for (int i = 0; i < FISH_BOXES; i++)
        fish.boxes[i] = buildBox();
    fish.camera = obj_CreateCamera();
    fishScene.camera = fish.camera;
    if (fish.tube)
        scn_AddObject(&fishScene, fish.tube);
    scn_Lock(&fishScene);
}

// Every pixel the tube and the boxes reach is drawn opaquely; where the
// camera sees past the tube's ends, the band keeps what it held.
static int fishCovers(const EffectContext *ctx, uint32_t *frame, float t)
{
    carryMarkBand(frame);
    fishtest1_render(ctx, frame, t);
    return carryBandCovered(frame);
}

void fishtest_carry(const EffectContext *ctx, CarryMap *map, float t)
{
    if (!fishBuilt || !ctx->view || !fish.blend || !fish.camera)
        return;
    carryCover(map, fishCovers, ctx, t);
    carryChange(map, CARRY_RANDOM, 0); // reseeded for the boxes
}

void fishtest1_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    RenderView *view = ctx->view;
    if (!fishBuilt || !pixels || !view || !fish.blend || !fish.camera)
        return;
    const double T = t * 50.0;
    crossFadeTextures();
    moveCamera(fish.camera, T);
    view->nearZ = kNearZ;
    if (fish.tube)
        scrollTube(fish.tube, T);
    placeBoxes(T);
    scn_Render(view, &fishScene, pixels);
}
