// Curl particle benchmarks: building the flow-field table (what a start-up
// without a usable "curl.dat" pays) and one noise evaluation of it.
#include <benchmark/benchmark.h>

#include "benchhost.h"
#include "core/common.h"
#include "fx/curl.h"

namespace {

// The noise tables and the production's field scale ("curl.vars"), as the
// program's start-up leaves them.
bool useProductionScale(benchmark::State &state)
{
    return benchHost(state) != nullptr;
}

void BM_CurlTableBuild(benchmark::State &state)
{
    if (!useProductionScale(state))
        return;
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
    if (!useProductionScale(state))
        return;
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
