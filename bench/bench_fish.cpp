// Fish test benchmark: one frame of the effect as the show drives it (the
// cross-fade rewritten every frame, the tube, 256 boxes, the bent projection).
#include <benchmark/benchmark.h>

#include "benchhost.h"
#include "core/common.h"
#include "cvar/cvar.h"
#include "render/bitmap.h"

namespace {

void BM_FishTestFrame(benchmark::State &state)
{
    if (!benchHost(state))
        return;
    const struct { const char *name; float value; } show[] = {
        {"fishtest_zoom", 128}, {"fishtest_fish", 0.3f}, {"fishtest_cameradist", -80},
        {"fishtest_motionrange", 40}, {"fishtest_anglerange", 30}, {"fishtest_flashidx", 3}};
    for (const auto &v : show)
        CvarFind(v.name)->value = v.value;
    Cvar *fade = CvarFind("fishtest_textureidx");
    uint32_t *block = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4);
    uint32_t *pixels = block + FRAME_GUARD_PIXELS;
    float t = 0.0f;
    for (auto _ : state) {
        t += 0.02f; // 50 frames a second of show time
        fade->value = t * 0.3f;
        fishtest1_render(benchContext(), pixels, t);
        benchmark::ClobberMemory();
    }
    freeAligned(block);
}
BENCHMARK(BM_FishTestFrame)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace
