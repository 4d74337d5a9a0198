// Effect benchmarks: one frame of an effect in the production's asset tree
// (build it first: cmake --build build --target production). The effects'
// pauses between frames are switched off; only the drawing is measured.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "cvar/cvarfile.h"
#include "data/data.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "core/common.h"
#include "host/host.h"
#include "core/tables.h"
#include "render/bitmap.h"
#include "render/view.h"

namespace {

// The first visible row of a frame inside its guarded block, or null when the
// production tree is missing. The intro and the particles are set up once.
uint32_t *effectFrame()
{
    static uint32_t *frame = []() -> uint32_t * {
        if (!std::filesystem::exists(VANTOREL_PRODUCTION_TREE_DIR "intro.vars"))
            return nullptr;
        sinTableBuild();
        sqrtTableBuild();
        recipTableBuild();
        dataSetBasePath(VANTOREL_PRODUCTION_TREE_DIR);
        hostSetPauses(0);
        fxHost = {nullptr, rnd_CreateView(), 0, nullptr};
        intro_setup();
        particles_setup();
        CvarLoad();
        intro_enableTimeCopy();
        uint32_t *block = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
        return block ? block + FRAME_GUARD_PIXELS : nullptr;
    }();
    return frame;
}

// All 64 shards grown, every star on the logo.
void BM_IntroFrame(benchmark::State &state)
{
    uint32_t *frame = effectFrame();
    if (!frame) {
        state.SkipWithError("no production tree: cmake --build build --target production");
        return;
    }
    for (auto _ : state) {
        intro_render(frame, 24.0f);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_IntroFrame)->Unit(benchmark::kMicrosecond);

// The camera flying along its path at 50 frames a second of show time, every
// particle streaking from its previous position.
void BM_ParticlesFrame(benchmark::State &state)
{
    uint32_t *frame = effectFrame();
    if (!frame) {
        state.SkipWithError("no production tree: cmake --build build --target production");
        return;
    }
    float t = 100.0f;
    for (auto _ : state) {
        particles_render(frame, t);
        t = t < 112.0f ? t + 0.02f : 100.0f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ParticlesFrame)->Unit(benchmark::kMicrosecond);

} // namespace
