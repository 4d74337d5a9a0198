// Post-chain benchmarks: each pass over the 320 x 240 frames, the whole chain
// with every pass on, and the passes' kernels alone over the 320 x 180
// picture, once through the SSE2 kernels and once through their scalar
// references (the filters' and the passes' sets together).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "benchhost.h"
#include "core/common.h"
#include "core/simd.h"
#include "post/filter.h"
#include "post/filter_local.h"
#include "post/post.h"
#include "post/post_local.h"
#include "render/bitmap.h"

namespace {

enum { PICTURE_PIXELS = FRAME_WIDTH * PICTURE_ROWS };

// Frame buffers 0 and 1 of random pixels, a displacement picture with a
// block moved in every few, and the variables of a busy moment of the demo.
struct PostBench {
    uint32_t *block0, *block1;
    uint32_t *frame0, *frame1; // frame row 0 of each
    Texture *map;
    AberrationSettings aberration;
    GlowSettings glow;

    PostBench()
        : block0((uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4)), block1((uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4)),
          frame0(block0 + FRAME_GUARD_PIXELS), frame1(block1 + FRAME_GUARD_PIXELS),
          map(txt_CreateTexture(GLITCH_MAP_WIDTH, GLITCH_MAP_HEIGHT, BITMAP_RGB32)), aberration(), glow()
    {
        std::mt19937 rng(2024);
        for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; i++) {
            frame0[i] = (uint32_t)rng();
            frame1[i] = (uint32_t)rng();
        }
        uint32_t *m = (uint32_t *)map->bitmap->pixels;
        for (int i = 0; i < GLITCH_MAP_WIDTH * GLITCH_MAP_HEIGHT; i++)
            m[i] = rng() % 4 ? 0x007F7F00u : (uint32_t)rng() & 0x00FFFF00u;
        post_blur_h.value = 100;
        post_blur_v.value = 100;
        post_aberration_offset.value = 300;
        post_aberration_blur.value = 120;
        for (int i = 0; i < 4; i++) {
            post_glow_threshold.vec[i] = 0.3f;
            post_glow_color.vec[i] = 1.0f;
        }
        post_glow_strength.value = 1.5f;
        post_glow_blur_h.value = 180;
        post_glow_blur_v.value = 180;
        glow = postGlowSettings();
    }
    ~PostBench()
    {
        freeAligned(block0);
        freeAligned(block1);
        txt_FreeTexture(map);
    }
    uint32_t *picture0() { return frame0 + PICTURE_OFFSET_PIXELS; }
    uint32_t *picture1() { return frame1 + PICTURE_OFFSET_PIXELS; }
};

typedef void (*PostRun)(PostBench &b);

void runAberration(PostBench &b)
{
    post_aberration_offset.value = 100; // d = 1, in place
    post_aberration_blur.value = 0;
    b.aberration = postAberrationSettings();
    postAberration(b.frame0, b.frame1, &b.aberration);
}
void runAberrationBlur(PostBench &b)
{
    post_aberration_offset.value = 300;
    post_aberration_blur.value = 120;
    b.aberration = postAberrationSettings();
    postAberration(b.frame0, b.frame1, &b.aberration);
}
void runGlow(PostBench &b) { postGlow(b.frame0, b.frame1, &b.glow); }
void runGlitch(PostBench &b) { postGlitch(b.frame0, b.frame1, 12, 4, b.map); }
void runDarken(PostBench &b) { postBrightness(b.picture0(), 127); }
void runBrighten(PostBench &b) { postBrightness(b.picture0(), 382); }

// Frame-loop steps 8 to 15 with every pass on.
void runChain(PostBench &b)
{
    const int last = PICTURE_FIRST_ROW + PICTURE_ROWS - 1;
    const FilterParams blur = filterParamsFor(100, 100);
    blurRowsH(b.frame0, b.frame0, PICTURE_FIRST_ROW, last, &blur);
    blurRowsV(b.frame0, b.frame0, PICTURE_FIRST_ROW, last, &blur);
    edgeDetect(b.picture0(), 2, 1);
    runAberrationBlur(b);
    runGlow(b);
    runGlitch(b);
    postBrightness(b.picture0(), 216);
}

// The kernels alone, over the whole picture.
void runAberrationKernel(PostBench &b)
{
    for (int y = PICTURE_FIRST_ROW; y < PICTURE_FIRST_ROW + PICTURE_ROWS; y++) {
        const uint32_t *src = b.frame1 + y * FRAME_WIDTH;
        pst_Kernels->aberrationRow(b.frame0 + y * FRAME_WIDTH, src, src + FRAME_WIDTH + 4, src + 2 * FRAME_WIDTH + 8,
                                   aberrationMask[y], FRAME_WIDTH);
    }
}
void runGlowKernel(PostBench &b)
{
    const int16_t colour8[4] = {2040, 1020, 2040, 0};
    pst_Kernels->glowAdd(b.picture0(), b.picture1(), PICTURE_PIXELS, colour8);
}
void runLensKernel(PostBench &b) { pst_Kernels->lensAdd(b.picture0(), b.picture1() + PICTURE_PIXELS - 1, PICTURE_PIXELS); }
void runDarkenKernel(PostBench &b) { pst_Kernels->darken(b.picture0(), PICTURE_PIXELS, 100); }
void runBrightenKernel(PostBench &b) { pst_Kernels->brighten(b.picture0(), PICTURE_PIXELS, 0x01010101u); }

void BM_Post(benchmark::State &state, bool sse2, PostRun run)
{
    if (!benchHost(state)) // the aberration mask, and the variables registered
        return;
    PostBench bench;
    flt_Kernels = sse2 ? &SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef) : &flt_KernelsRef;
    pst_Kernels = sse2 ? &SSE2_OR_REF(pst_KernelsSSE2, pst_KernelsRef) : &pst_KernelsRef;
    for (auto _ : state) {
        run(bench);
        benchmark::ClobberMemory();
    }
    flt_Kernels = &SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef);
    pst_Kernels = &SSE2_OR_REF(pst_KernelsSSE2, pst_KernelsRef);
    state.SetItemsProcessed(state.iterations()); // frames
}

const struct {
    const char *name;
    PostRun run;
} kPasses[] = {
    {"Aberration", runAberration},
    {"AberrationBlur", runAberrationBlur},
    {"Glow", runGlow},
    {"Glitch", runGlitch}, // one scalar implementation: the two runs measure the same code
    {"Darken", runDarken},
    {"Brighten", runBrighten},
    {"Chain", runChain},
    {"Kernel/AberrationRows", runAberrationKernel},
    {"Kernel/GlowAdd", runGlowKernel},
    {"Kernel/LensAdd", runLensKernel},
    {"Kernel/Darken", runDarkenKernel},
    {"Kernel/Brighten", runBrightenKernel},
};

// Registered before main runs the benchmarks: BM_Post/<pass>/SSE2 (where the
// build has the SSE2 kernels) and /Ref side by side.
int registerPostBenchmarks()
{
    for (const auto &p : kPasses) {
        std::string name = std::string("BM_Post/") + p.name;
        if (simdHasSSE2)
            benchmark::RegisterBenchmark((name + "/SSE2").c_str(), BM_Post, true, p.run)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((name + "/Ref").c_str(), BM_Post, false, p.run)->Unit(benchmark::kMicrosecond);
    }
    return 0;
}
const int postBenchmarksRegistered = registerPostBenchmarks();

} // namespace
