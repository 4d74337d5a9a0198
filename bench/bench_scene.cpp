// Scene benchmark: a locked scene of five 4,000-face spheres (three Gouraud
// with the head-light model, two flat with the face model) turning in front
// of the camera, rendered into a cleared frame each iteration.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "core/common.h"
#include "render/object.h"
#include "render/scene.h"
#include "render/view.h"

namespace {

// A sphere of `slices` x `rings` with a ripple, 2 * slices * (rings - 1)
// faces: 40 x 51 gives 4,000. Faces turn outward.
Object *makeSphere(int slices, int rings, float radius)
{
    const int vertexCount = slices * (rings + 1);
    const int faceCount = 2 * slices * (rings - 1);
    Object *o = obj_Create(vertexCount, faceCount);
    for (int r = 0; r <= rings; r++) {
        const float phi = (float)M_PI * r / rings;
        for (int s = 0; s < slices; s++) {
            const float theta = 2.0f * (float)M_PI * s / slices;
            const float bump = radius * (1.0f + 0.08f * std::sin(5 * theta) * std::sin(4 * phi));
            Vertex &v = o->vertices[r * slices + s];
            v.x = (int32_t)(bump * std::sin(phi) * std::cos(theta));
            v.y = (int32_t)(bump * std::cos(phi));
            v.z = (int32_t)(bump * std::sin(phi) * std::sin(theta));
        }
    }
    int f = 0;
    for (int r = 0; r < rings; r++) {
        for (int s = 0; s < slices; s++) {
            Vertex *a = &o->vertices[r * slices + s], *b = &o->vertices[r * slices + (s + 1) % slices];
            Vertex *c = &o->vertices[(r + 1) * slices + s], *d = &o->vertices[(r + 1) * slices + (s + 1) % slices];
            if (r > 0) { // the cap rows have one triangle per slice
                o->faces[f].a = a, o->faces[f].b = b, o->faces[f].c = d;
                f++;
            }
            if (r < rings - 1) {
                o->faces[f].a = a, o->faces[f].b = d, o->faces[f].c = c;
                f++;
            }
        }
    }
    obj_ComputeNormals(o);
    return o;
}

void BM_SceneRender(benchmark::State &state)
{
    Scene scene;
    memset(&scene, 0, sizeof scene);
    Object *camera = obj_CreateCamera();
    camera->position[2] = -520;
    camera->focalLength = 256;
    scene.camera = camera;
    Object *spheres[5];
    for (int i = 0; i < 5; i++) {
        Object *o = makeSphere(40, 51, 70);
        const bool flat = i % 2 == 1;
        obj_SetProperty(o, PROP_MODE, flat ? MODE_FLAT : MODE_GOURAUD);
        obj_SetProperty(o, PROP_COLOUR, flat ? 0xF0A040 : 0x60C0FF);
        o->lighting = flat ? 0 : 7;
        obj_UpdateFlags(o);
        o->position[0] = 150.0f * std::cos(i * 1.2566f);
        o->position[1] = 90.0f * std::sin(i * 1.2566f);
        o->position[2] = 60.0f * i;
        scn_AddObject(&scene, o);
        spheres[i] = o;
    }
    scn_Lock(&scene);
    RenderView *view = rnd_CreateView();
    view->nearZ = 10.0f;
    uint32_t *block = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4);
    uint32_t *pixels = block + FRAME_GUARD_PIXELS;

    int frame = 0;
    int64_t entries = 0;
    for (auto _ : state) {
        for (int i = 0; i < 5; i++) {
            spheres[i]->rotation[0] = frame * 1.3f + i * 20;
            spheres[i]->rotation[1] = frame * 2.1f;
        }
        frame++;
        memset(pixels, 0, FRAME_WIDTH * FRAME_HEIGHT * 4);
        scn_Render(view, &scene, pixels);
        entries += scene.drawCount;
        benchmark::ClobberMemory();
    }
    state.counters["faces"] = 20000;
    state.counters["drawn"] = benchmark::Counter((double)entries / (double)state.iterations());

    scn_Release(&scene);
    for (Object *o : spheres)
        obj_Free(o);
    obj_Free(camera);
    free(view->pointSprite);
    free(view);
    freeAligned(block);
}
BENCHMARK(BM_SceneRender)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace
