// Greets benchmark: one frame of the effect as the anthem drives it (the fish
// test, its own edge, aberration and glow passes, four tiles and a greeting).
#include <benchmark/benchmark.h>

#include "benchhost.h"
#include "core/common.h"
#include "cvar/cvar.h"
#include "post/post.h"
#include "render/bitmap.h"

namespace {

void BM_GreetsFrame(benchmark::State &state)
{
    if (!benchHost(state))
        return;
    // The anthem's values (production/timeline.txt, bar 76 on).
    const struct { const char *name; float value; } show[] = {
        {"fishtest_zoom", 128}, {"fishtest_fish", 0.1f}, {"fishtest_cameradist", -80},
        {"fishtest_motionrange", 40}, {"fishtest_anglerange", 30}, {"fishtest_textureidx", 6},
        {"post_edgedetect_factor", 2}, {"post_aberration_offset", 200}, {"post_aberration_blur", 0},
        {"post_glow_strength", 1.2f}, {"post_glow_blur_h", 220}, {"post_glow_blur_v", 220}};
    for (const auto &v : show)
        CvarFind(v.name)->value = v.value;
    for (int i = 0; i < 3; i++)
        post_glow_threshold.vec[i] = 0.35f, post_glow_color.vec[i] = 0.9f;
    Cvar *idx = CvarFind("greets_idx");
    uint32_t *block0 = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4);
    uint32_t *pixels = block0 + FRAME_GUARD_PIXELS;
    float t = 0.0f;
    for (auto _ : state) {
        t += 0.02f; // 50 frames a second of show time
        idx->value = (float)((int)(t * 2.0f) % 18); // a new greeting every half second, 17 without one
        greets_render(benchContext(), pixels, t);
        benchmark::ClobberMemory();
    }
    freeAligned(block0);
}
BENCHMARK(BM_GreetsFrame)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace
