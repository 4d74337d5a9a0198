// Effect benchmarks: one frame of an effect in the production's asset tree
// (build it first: cmake --build build --target production). The effects'
// pauses between frames are switched off; only the drawing is measured.
#include <benchmark/benchmark.h>

#include "benchhost.h"
#include "core/common.h"
#include "render/bitmap.h"

namespace {

// The first visible row of a frame inside its guarded block, or null (the
// benchmark skipped) when the production tree is missing.
uint32_t *effectFrame(benchmark::State &state)
{
    if (!benchHost(state))
        return nullptr;
    static uint32_t *block = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
    return block ? block + FRAME_GUARD_PIXELS : nullptr;
}

// All 64 shards grown, every star on the logo.
void BM_IntroFrame(benchmark::State &state)
{
    uint32_t *frame = effectFrame(state);
    if (!frame)
        return;
    for (auto _ : state) {
        intro_render(benchContext(), frame, 24.0f);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_IntroFrame)->Unit(benchmark::kMicrosecond);

// The camera flying along its path at 50 frames a second of show time, every
// particle streaking from its previous position.
void BM_ParticlesFrame(benchmark::State &state)
{
    uint32_t *frame = effectFrame(state);
    if (!frame)
        return;
    float t = 100.0f;
    for (auto _ : state) {
        particles_render(benchContext(), frame, t);
        t = t < 112.0f ? t + 0.02f : 100.0f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ParticlesFrame)->Unit(benchmark::kMicrosecond);

} // namespace
