// Voxel landscape benchmarks: the relief filter kernels over a band of
// edge-accumulation output, and the show's frame of drive 1 (tunnel into
// frame buffer 2, then the landscape) with the production's assets.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "benchhost.h"
#include "fx/simpletunnel.h"
#include "fx/voxel.h"

namespace {

template <void (*Kernel)(uint32_t *)> void BM_VoxelRelief(benchmark::State &state)
{
    std::mt19937 rng(5);
    std::vector<uint32_t> source(320 * 180), band(320 * 180);
    for (uint32_t &p : source) // about one pixel in eight carries an edge, as the landscape leaves them
        p = rng() % 8 ? 0x7F7F7F7Fu : 0x7F7F7F7Fu + (rng() & 0x0F0F0F0F) - 0x07070707;
    for (auto _ : state) {
        state.PauseTiming(); // the kernel filters in place: the restoring copy is not its time
        band = source;
        state.ResumeTiming();
        Kernel(band.data());
        benchmark::ClobberMemory();
    }
}
#ifdef VANTOREL_SSE2
BENCHMARK_TEMPLATE(BM_VoxelRelief, voxelReliefSSE2)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
#endif
BENCHMARK_TEMPLATE(BM_VoxelRelief, voxelReliefRef)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_ShowFrame(benchmark::State &state, bool withVoxel)
{
    Screen *s = benchHost(state);
    if (!s)
        return;
    float t = 30.0f;
    for (auto _ : state) {
        simpletunnel_angle.value = simpletunnel_shift.value = t * 4.0f;
        simpletunnel_render(benchContext(), s->buffer2, t);
        if (withVoxel)
            voxel_render(benchContext(), s->buffer0, t);
        t += 0.04f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_ShowFrame, tunnel, false)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_ShowFrame, tunnel_and_voxel, true)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
