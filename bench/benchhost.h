// The program's own start-up for the benchmarks that need the engine running:
// offline, silent, without pauses and writing nothing, on the production's
// asset tree (VANTOREL_PRODUCTION_TREE, else the tree "make production"
// writes beside the build).
#pragma once

#include <benchmark/benchmark.h>

#include "fx/fx.h"
#include "host/screen.h"

// Once per process; null, after marking the benchmark skipped, when there is
// no production tree.
Screen *benchHost(benchmark::State &state);
// What the host hands the effects (after benchHost).
const EffectContext *benchContext(void);
