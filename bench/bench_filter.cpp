// Filter benchmarks: every filter over a 320 x 240 frame (the picture's 180
// rows where the filter works on the picture), once through the SSE2 kernels
// and once through their scalar references.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "core/common.h"
#include "core/simd.h"
#include "post/filter.h"
#include "post/filter_local.h"
#include "render/bitmap.h"

namespace {

// Two frame blocks of random pixels and the bitmaps the blits draw.
struct FilterBench {
    uint32_t *blockA, *blockB;
    uint32_t *a, *b; // frame row 0 of each
    Texture *frameBitmap;   // 320 x 240
    Texture *pictureBitmap; // 320 x 180, fourth byte varied for the alpha blend
    Texture *grayBitmap;    // 320 x 240, one byte per pixel
    FilterParams params;

    FilterBench()
        : blockA((uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4)), blockB((uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4)),
          a(blockA + FRAME_GUARD_PIXELS), b(blockB + FRAME_GUARD_PIXELS),
          frameBitmap(txt_CreateTexture(FRAME_WIDTH, FRAME_HEIGHT, BITMAP_RGB32)),
          pictureBitmap(txt_CreateTexture(FRAME_WIDTH, PICTURE_ROWS, BITMAP_RGB32)),
          grayBitmap(txt_CreateTexture(FRAME_WIDTH, FRAME_HEIGHT, BITMAP_GRAY8)), params()
    {
        std::mt19937 rng(2024);
        for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; i++) {
            a[i] = (uint32_t)rng();
            b[i] = (uint32_t)rng();
            ((uint32_t *)frameBitmap->bitmap->pixels)[i] = (uint32_t)rng();
            ((uint8_t *)grayBitmap->bitmap->pixels)[i] = (uint8_t)rng();
        }
        for (int i = 0; i < FRAME_WIDTH * PICTURE_ROWS; i++)
            ((uint32_t *)pictureBitmap->bitmap->pixels)[i] = (uint32_t)rng();
        params.width = FRAME_WIDTH;
        params.height = FRAME_HEIGHT;
        params.coefH = 200;
        params.coefV = 180;
        params.threshold = 0x20202020u;
    }
    ~FilterBench()
    {
        freeAligned(blockA);
        freeAligned(blockB);
        txt_FreeTexture(frameBitmap);
        txt_FreeTexture(pictureBitmap);
        txt_FreeTexture(grayBitmap);
    }
    uint32_t *pictureB() { return b + PICTURE_OFFSET_PIXELS; }
};

typedef void (*FilterRun)(FilterBench &f);

void runBlurH(FilterBench &f) { blurRowsH(f.a, f.b, 0, FRAME_HEIGHT - 1, &f.params); }
void runBlurV(FilterBench &f) { blurRowsV(f.a, f.b, 0, FRAME_HEIGHT - 1, &f.params); }
void runLuma(FilterBench &f)
{
    uint8_t out[FRAME_WIDTH];
    for (int y = 0; y < FRAME_HEIGHT; y++) {
        lumaRow(f.a + y * FRAME_WIDTH, out);
        benchmark::DoNotOptimize(out);
    }
}
void runEdges(FilterBench &f) { edgeDetect(f.pictureB(), 2, 0); }
void runEdgesAdditive(FilterBench &f) { edgeDetect(f.pictureB(), 2, 1); }
void runBlitCopy(FilterBench &f) { blitCopy(f.b, FRAME_HEIGHT, f.frameBitmap->bitmap, 0, 0); }
void runBlitAddMinus(FilterBench &f) { blitAddMinus(f.pictureB(), f.pictureBitmap->bitmap, 0, 0, 0x40); }
void runBlitSubPlus(FilterBench &f) { blitSubPlus(f.pictureB(), f.pictureBitmap->bitmap, 0, 0, 0x10); }
void runBlitAlpha(FilterBench &f) { blitAlpha(f.pictureB(), f.pictureBitmap->bitmap, 0, 0, 216); }
void runBlitMinus(FilterBench &f) { blitMinus(f.pictureB(), f.pictureBitmap->bitmap, 0, 0, 0x40); }
void runBlitGray(FilterBench &f) { blitGray(f.b, f.grayBitmap->bitmap); }
void runPictureCopy(FilterBench &f) { pictureCopy(f.pictureB(), f.a + PICTURE_OFFSET_PIXELS); }

void BM_Filter(benchmark::State &state, const FilterKernels *kernels, FilterRun run)
{
    FilterBench bench;
    flt_Kernels = kernels;
    for (auto _ : state) {
        run(bench);
        benchmark::ClobberMemory();
    }
    flt_Kernels = &SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef);
    state.SetItemsProcessed(state.iterations()); // frames
}

const struct {
    const char *name;
    FilterRun run;
} kFilters[] = {
    {"BlurRowsH", runBlurH},       {"BlurRowsV", runBlurV},       {"LumaRows", runLuma},
    {"EdgeDetect", runEdges},      {"EdgeDetectAdditive", runEdgesAdditive},
    {"BlitCopy", runBlitCopy},     {"BlitAddMinus", runBlitAddMinus}, {"BlitSubPlus", runBlitSubPlus},
    {"BlitAlpha", runBlitAlpha},   {"BlitMinus", runBlitMinus},   {"BlitGray", runBlitGray},
    {"PictureCopy", runPictureCopy},
};

// Registered before main runs the benchmarks: BM_Filter/<filter>/SSE2 (where
// the build has the SSE2 kernels) and /Ref side by side.
int registerFilterBenchmarks()
{
    for (const auto &f : kFilters) {
        std::string name = std::string("BM_Filter/") + f.name;
        if (simdHasSSE2)
            benchmark::RegisterBenchmark((name + "/SSE2").c_str(), BM_Filter,
                                         &SSE2_OR_REF(flt_KernelsSSE2, flt_KernelsRef), f.run)
                ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((name + "/Ref").c_str(), BM_Filter, &flt_KernelsRef, f.run)
            ->Unit(benchmark::kMicrosecond);
    }
    return 0;
}
const int filterBenchmarksRegistered = registerFilterBenchmarks();

} // namespace
