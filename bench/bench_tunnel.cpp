// Tunnel benchmark: one 320 x 240 frame of the pixel kernel, SSE2 and scalar,
// over a perspective-like table and a random texture.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "fx/simpletunnel.h"

namespace {

struct TunnelBench {
    std::vector<uint16_t> table = std::vector<uint16_t>(320 * 240);
    std::vector<uint32_t> texels = std::vector<uint32_t>(256 * 256);
    std::vector<uint32_t> frame = std::vector<uint32_t>(320 * 240);
    TunnelFrame f{};
    TunnelBench()
    {
        std::mt19937 rng(1);
        for (uint32_t &t : texels)
            t = rng();
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 320; x++) {
                const double r = std::hypot(x - 160.0, y - 120.0);
                const int angle = (int)((std::atan2(x - 160.0, y - 120.0) / 6.283185307179586 + 0.5) * 256) & 255;
                table[y * 320 + x] = (uint16_t)(angle << 8 | (r > 0 ? (int)(3000 / r) & 255 : 0));
            }
        f.table = table.data();
        f.texels = texels.data();
        for (int d = 0; d < 256; d++)
            f.ringBase[d] = (uint16_t)((d & 16 ? 40 : 215) << 8 | 77);
        f.multipliers = 0x7D7F7F7F;
    }
};

template <void (*Kernel)(const TunnelFrame *, uint32_t *)> void BM_TunnelFrame(benchmark::State &state)
{
    TunnelBench b;
    int frame = 0;
    for (auto _ : state) {
        for (int d = 0; d < 256; d++) // the shift moves every frame, as in the show
            b.f.ringBase[d] = (uint16_t)((b.f.ringBase[d] & 0xFF00) | (frame & 255));
        frame++;
        Kernel(&b.f, b.frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 320 * 240);
}
#ifdef VANTOREL_SSE2
BENCHMARK_TEMPLATE(BM_TunnelFrame, tunnelDrawSSE2)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
#endif
BENCHMARK_TEMPLATE(BM_TunnelFrame, tunnelDrawRef)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
