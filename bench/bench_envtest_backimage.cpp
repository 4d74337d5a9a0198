// The voronoi mosaic and the image layer on the production's assets: building
// one cell frame (start-up), painting the mosaic alone and with the object
// layer, each blend of the layer.
#include <benchmark/benchmark.h>

#include "benchhost.h"
#include "fx/backimage.h"
#include "fx/envtest.h"

namespace {

void BM_VoronoiCellFrame(benchmark::State &state)
{
    if (!benchHost(state))
        return;
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
    Screen *screen = benchHost(state);
    if (!screen)
        return;
    uint32_t *frame = screen->buffer0;
    float t = 0.0f;
    for (auto _ : state) {
        envtestPaint(frame, t, 0);
        t += 0.04f;
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_VoronoiPaint)->Unit(benchmark::kMicrosecond);

// The whole effect as the host calls it, object layer included.
void BM_VoronoiRender(benchmark::State &state)
{
    Screen *screen = benchHost(state);
    if (!screen)
        return;
    uint32_t *frame = screen->buffer0;
    float t = 60.0f;
    for (auto _ : state) {
        envtest_render(benchContext(), frame, t);
        t += 0.04f;
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_VoronoiRender)->Unit(benchmark::kMicrosecond);

// The full-band sunset (entry 0) in each blend mode.
void BM_BackImageDraw(benchmark::State &state)
{
    Screen *screen = benchHost(state);
    if (!screen)
        return;
    uint32_t *frame = screen->buffer0;
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
