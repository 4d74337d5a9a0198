// Curl particle benchmarks: building the flow-field table (what a start-up
// without a usable "curl.dat" pays) and one noise evaluation of it.
#include <benchmark/benchmark.h>

#include "fx/curl.h"
#include "fx/noise.h"
#include "core/common.h"

namespace {

// The production's field scale ("curl.vars").
void useProductionScale(void)
{
    noise_init();
    curl_motionnoisescale.value = 3.0f;
}

void BM_CurlTableBuild(benchmark::State &state)
{
    useProductionScale();
    int16_t *table = (int16_t *)allocAligned(CURL_TABLE_ENTRIES, 4);
    for (auto _ : state) {
        curl_buildTable(table);
        benchmark::DoNotOptimize(table[12345]);
    }
    state.SetItemsProcessed(state.iterations() * CURL_TABLE_ENTRIES);
    freeAligned(table);
}
BENCHMARK(BM_CurlTableBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CurlField(benchmark::State &state)
{
    useProductionScale();
    double u = 0.0;
    for (auto _ : state) {
        float a, b;
        curl_field(u, 1.7, &a, &b);
        benchmark::DoNotOptimize(a + b);
        u = u < 4.0 ? u + 0.0039 : 0.0;
    }
}
BENCHMARK(BM_CurlField);

} // namespace
