// Fish test benchmark: one frame of the effect as the show drives it (the
// cross-fade rewritten every frame, the tube, 256 boxes, the bent projection),
// from the production tree in VANTOREL_PRODUCTION_TREE or the worktree's
// Vantorel/ (cmake --build build --target production).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "cvar/cvar.h"
#include "data/data.h"
#include "fx/fx.h"
#include "core/common.h"
#include "render/bitmap.h"
#include "render/view.h"

namespace {

void BM_FishTestFrame(benchmark::State &state)
{
    const char *tree = getenv("VANTOREL_PRODUCTION_TREE");
    const std::string base = std::string(tree ? tree : VANTOREL_PRODUCTION_TREE_DIR) + (tree ? "/" : "");
    dataSetBasePath(base.c_str());
    if (dataFileSize("textures/fish/txt1.png") <= 0) {
        state.SkipWithError("no production tree: build the production target first");
        return;
    }
    static RenderView *view = rnd_CreateView();
    fxHost.view = view;
    fishtest1_setup();
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
        fishtest1_render(pixels, t);
        benchmark::ClobberMemory();
    }
    freeAligned(block);
}
BENCHMARK(BM_FishTestFrame)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace
