// The voronoi mosaic and the image layer on the production's assets (the
// tree in VANTOREL_PRODUCTION_TREE, else ../Vantorel/ as a development run
// from build/ finds it; the object layer may leave its conversion cache
// there, as a development run does): building one cell frame (start-up),
// painting the mosaic alone and with the object layer, each blend of the layer.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "data/data.h"
#include "fx/backimage.h"
#include "fx/envtest.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "fx/noise.h"
#include "core/common.h"
#include "host/hostvars.h"
#include "host/screen.h"
#include "core/tables.h"
#include "render/view.h"

namespace {

// The start-up both effects need, once per process: tables, an offline
// screen, the render view, the setups.
Screen *benchHost()
{
    static Screen *screen = [] {
        sinTableBuild();
        sqrtTableBuild();
        noise_init();
        recipTableBuild();
        const char *tree = getenv("VANTOREL_PRODUCTION_TREE");
        dataSetBasePath(tree ? (std::string(tree) + "/").c_str() : "../Vantorel/");
        screenSetOffline(1);
        Screen *s = screenCreate();
        RenderView *view = rnd_CreateView();
        rnd_MakePointSprite(view);
        fxHost = {s, view, 0, nullptr};
        envtest_setup();
        hostRegisterGroup2();
        backimage_load();
        return s;
    }();
    return screen;
}

void BM_VoronoiCellFrame(benchmark::State &state)
{
    benchHost();
    static uint16_t cells[FRAME_WIDTH * FRAME_HEIGHT];
    for (auto _ : state) {
        envtestBuildCellFrame(cells, 0.3125f);
        benchmark::DoNotOptimize(cells);
    }
}
BENCHMARK(BM_VoronoiCellFrame)->Unit(benchmark::kMillisecond);

// The mosaic's own work over a fixed frame: reduction, corner copy, painting.
void BM_VoronoiPaint(benchmark::State &state)
{
    uint32_t *frame = benchHost()->buffer0;
    float t = 0.0f;
    for (auto _ : state) {
        envtestPaint(frame, t);
        t += 0.04f;
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_VoronoiPaint)->Unit(benchmark::kMicrosecond);

// The whole effect as the host calls it, object layer included.
void BM_VoronoiRender(benchmark::State &state)
{
    uint32_t *frame = benchHost()->buffer0;
    float t = 60.0f;
    for (auto _ : state) {
        envtest_render(frame, t);
        t += 0.04f;
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_VoronoiRender)->Unit(benchmark::kMicrosecond);

// The full-band sunset (entry 0) in each blend mode.
void BM_BackImageDraw(benchmark::State &state)
{
    uint32_t *frame = benchHost()->buffer0;
    backimage_texture_idx.value = 0.0f;
    backimage_x.value = backimage_y.value = 0.0f;
    backimage_mode_back.value = (float)state.range(0);
    backimage_factor.value = 0.5f;
    for (auto _ : state) {
        backimage_draw(frame, 0);
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_BackImageDraw)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

} // namespace
