// The object layer: four objects in one locked scene, one of them shown and
// turned each call, lit by the base-and-fog model and drawn into a frame.
#include "fx/engtest.h"

#include <cmath>

#include "core/common.h"
#include "core/startup.h"
#include "data/image.h"
#include "data/objfile.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "render/light.h"
#include "render/object.h"
#include "render/scene.h"
#include "render/view.h"

enum {
    STRIPE_SIZE = 256, // stripe texture side
};

static const double OBJECT_SCALE = 1000.0; // file units to object units, and the radius every object is scaled to
static const float NEAR_Z = 20.0f;

// ---------------------------------------------------------------------------
// Variables
// ---------------------------------------------------------------------------

Cvar engtest_diffuse = cvarDefine("engtest_diffuse", "0 0 0 0", 0, 0, CVAR_COLOR, 1.0f, 1.0f, 1.0f, 1.0f);
Cvar engtest_zoom = cvarDefine("engtest_zoom", "128", 32, 512);
Cvar engtest_camera = cvarDefine("engtest_camera", "0 0 0", 0, 0, CVAR_VEC3, 0.0f, 0.0f, -1000.0f);
Cvar engtest_objectidx = cvarDefine("engtest_objectidx", "0", 0, 3);
Cvar engtest_shading_primary =
    cvarDefine("engtest_shading_primary", "0 0 0 0", 0, 0, CVAR_COLOR, 1.0f, 0.8f, 0.6f, 1.0f);
Cvar engtest_shading_secondary =
    cvarDefine("engtest_shading_secondary", "0 0 0 0", 0, 0, CVAR_COLOR, 0.4f, 0.6f, 0.8f, 1.0f);

static Cvar *const engtestVars[] = {&engtest_diffuse,   &engtest_zoom,           &engtest_camera,
                                    &engtest_objectidx, &engtest_shading_primary, &engtest_shading_secondary};
const CvarList engtest_vars = cvarListOf(engtestVars);
const CvarList engtest_tracked = cvarListOf(engtestVars); // every one

// ---------------------------------------------------------------------------
// Layer state
// ---------------------------------------------------------------------------

static EngtestLayer layer;
static int layerBuilt; // set by the first engtest_setup

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

// Centred on its box, scaled to radius 1000 (an object of radius 0 stays as
// it is), lit by the base-and-fog model, Gouraud material 0 with the texture.
static void engtestPrepareObject(Object *object, Texture *texture)
{
    obj_Center(object);
    float radius = obj_GetRadius(object);
    if (radius > 0.0f) {
        double s = OBJECT_SCALE / radius;
        obj_Scale(object, s, s, s);
    }
    obj_ComputeNormals(object);
    object->lighting = LIGHT_BASE_FOG;
    obj_SetProperty(object, PROP_MODE, MODE_GOURAUD);
    obj_SetProperty(object, PROP_DOUBLE_SIDED, 0);
    obj_SetProperty(object, PROP_OUTLINE, 0);
    obj_SetProperty(object, PROP_COLOUR, 0xFFFFFFFFu);
    obj_SetProperty(object, PROP_TEXTURE, (uintptr_t)texture);
    obj_BuildShadeTable(object, 0, 256, 1.0);
    obj_UpdateFlags(object);
    object->hasGeometry = 0; // the scene's pools are sized from the faces alone
}

// Black left half; on the right, vertical stripes four pixels wide every
// eight, brightening downward and full from row 32; then one box blur.
static void engtestPaintStripes(Texture *texture)
{
    uint32_t *pixels = (uint32_t *)texture->bitmap->pixels;
    for (int y = 0; y < STRIPE_SIZE; y++) {
        uint32_t v = (uint32_t)(8 * y < 255 ? 8 * y : 255);
        for (int x = 0; x < STRIPE_SIZE; x++) {
            bool lit = ((x / 128) & 1) && ((x / 4) & 1);
            pixels[y * STRIPE_SIZE + x] = lit ? v * 0x01010101u : 0;
        }
    }
    imgBoxBlur(texture);
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

const EngtestLayer *engtest_layer(void)
{
    return &layer;
}

void engtest_setup(const EffectContext *)
{
    if (layerBuilt)
        return;
    layerBuilt = 1;
    StartupScope phase(STARTUP_OBJECTS);
    CvarRegisterList(&engtest_vars);

    layer.stripes = txt_CreateTexture(STRIPE_SIZE, STRIPE_SIZE, BITMAP_RGB32);
    layer.scene = (Scene *)allocAligned(1, sizeof(Scene));

    layer.objects[0] = objLoad("lwobj/blob3_mesh_hi.lobj", OBJECT_SCALE);
    layer.objects[1] = objLoadCached("lwobj/elude.obj", "lwobj/elude.obj.cached", false);
    layer.objects[2] = objLoad("lwobj/fx02_glow.lobj", OBJECT_SCALE);
    layer.objects[3] = objLoad("lwobj/weird2.lobj", OBJECT_SCALE);
    for (Object *object : layer.objects) {
        if (object)
            engtestPrepareObject(object, layer.stripes);
    }

    layer.camera = obj_CreateCamera();
    if (layer.camera)
        layer.camera->motion = fxKeyedMotion(fxCameraKeys, FX_CAMERA_KEYS); // the layer places the camera itself
    layer.light = obj_CreateLight();
    if (layer.light)
        layer.light->motion = fxKeyedMotion(fxLightKeys, FX_LIGHT_KEYS);

    if (layer.scene) {
        layer.scene->camera = layer.camera;
        for (Object *object : layer.objects) {
            if (object)
                scn_AddObject(layer.scene, object);
        }
        layer.scene->smallFacePool = 1;
        scn_Lock(layer.scene);
    }
    if (layer.stripes)
        engtestPaintStripes(layer.stripes);
}

void engtest_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    if (!layerBuilt || !layer.scene || !layer.camera || !ctx->view)
        return;

    // A track can take the index anywhere: outside 0..3 every slot is hidden
    // and no object is updated.
    int32_t shown = truncInt(std::floor(engtest_objectidx.value));
    for (int k = 0; k < ENGTEST_OBJECTS; k++) {
        if (layer.objects[k])
            layer.objects[k]->hidden = shown != k;
    }
    Object *object = shown >= 0 && shown < ENGTEST_OBJECTS ? layer.objects[shown] : nullptr;

    for (int c = 0; c < 3; c++) {
        layer.scene->lighting.lightA[c] = engtest_shading_primary.vec[c];
        layer.scene->lighting.lightB[c] = engtest_shading_secondary.vec[c];
    }

    if (object) {
        const float *d = engtest_diffuse.vec;
        // Unsigned shifts: a component out of 0..1 spills into the next byte,
        // as the word has always been put together.
        uint32_t word = (uint32_t)truncInt(d[3] * 250.0f) << 24 | (uint32_t)truncInt(d[0] * 255.0f) << 16 |
                        (uint32_t)truncInt(d[1] * 255.0f) << 8 | (uint32_t)truncInt(d[2] * 255.0f);
        obj_SetProperty(object, PROP_COLOUR, word);
    }

    layer.camera->focalLength = engtest_zoom.value;
    ctx->view->nearZ = NEAR_Z;
    for (int c = 0; c < 3; c++)
        layer.camera->position[c] = engtest_camera.vec[c];

    if (object) {
        float angle = t * 50.0f;
        object->rotation[0] = angle;
        object->rotation[1] = (float)(-angle * 0.3);
        object->rotation[2] = (float)(angle * 0.4);
    }

    scn_Render(ctx->view, layer.scene, pixels);
}
