// Voxel landscape benchmarks: the relief filter kernels over a band of
// edge-accumulation output, and the show's frame of drive 1 (tunnel into
// frame buffer 2, then the landscape) with the production's assets, copied
// from VANTOREL_PRODUCTION_TREE or the tree the test run built into a
// directory under /tmp for the length of the run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "data/data.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "fx/noise.h"
#include "fx/simpletunnel.h"
#include "fx/voxel.h"
#include "host/screen.h"
#include "core/tables.h"
#include "post/filter.h"
#include "render/view.h"

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

// The start-up the two effects need, once: tables, assets, screen, filter, view.
Screen *showHost(void)
{
    static Screen *screen = []() -> Screen * {
        namespace fs = std::filesystem;
        const char *env = getenv("VANTOREL_PRODUCTION_TREE");
        const std::string tree = env ? env : VANTOREL_PRODUCTION_TREE_DIR;
        if (!fs::exists(tree + "/.built"))
            return nullptr;
        // A private copy: the object layer writes its converted object beside the original.
        static char pattern[] = "/tmp/vantorel-bench-XXXXXX";
        if (!mkdtemp(pattern))
            return nullptr;
        atexit([] {
            std::error_code error;
            fs::remove_all(pattern, error);
        });
        for (const char *asset : {"lwobj/blob3_mesh_hi.lobj", "lwobj/elude.obj", "lwobj/fx02_glow.lobj",
                                  "lwobj/weird2.lobj", "textures/back_tunel/txt1.png", "textures/back_tunel/txt2.png",
                                  "textures/back_tunel/txt3.png", "voxel.vars", "simpletunnel.vars"}) {
            std::error_code error;
            fs::create_directories((fs::path(pattern) / asset).parent_path(), error);
            fs::copy_file(fs::path(tree) / asset, fs::path(pattern) / asset, error);
        }
        sinTableBuild();
        sqrtTableBuild();
        noise_init();
        recipTableBuild();
        dataSetBasePath((std::string(pattern) + "/").c_str());
        screenSetOffline(1);
        Screen *s = screenCreate();
        static FilterParams filter = {320, 240, 0, 0, 0, 0, 0xFFFF};
        filterParams = &filter;
        RenderView *view = rnd_CreateView();
        rnd_MakePointSprite(view);
        fxHost = {s, view, 0, nullptr};
        voxel_setup();
        simpletunnel_setup();
        return s;
    }();
    return screen;
}

void BM_ShowFrame(benchmark::State &state, bool withVoxel)
{
    Screen *s = showHost();
    if (!s) {
        state.SkipWithError("no production tree: build it (ctest -R production.build) or set VANTOREL_PRODUCTION_TREE");
        return;
    }
    float t = 30.0f;
    for (auto _ : state) {
        simpletunnel_angle.value = simpletunnel_shift.value = t * 4.0f;
        simpletunnel_render(s->buffer2);
        if (withVoxel)
            voxel_render(s->buffer0, t);
        t += 0.04f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_ShowFrame, tunnel, false)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_ShowFrame, tunnel_and_voxel, true)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
