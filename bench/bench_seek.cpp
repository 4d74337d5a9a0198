// Seeks of the edit mode on the 60 fps grid: the preparation at its start,
// then twenty seeks spread over the show in a scrambled order, each the
// replay and the frame shown; and the same seeks without the preparation,
// from the start-up state alone, as the worst case.
#include <cmath>

#include "benchhost.h"
#include "host/host.h"
#include "host/music.h"
#include "host/preroll.h"

enum { SEEK_TARGETS = 20 };

static const FrameGrid editGrid = {0.0, 60.0};

static int64_t showEnd(void)
{
    return (int64_t)std::floor(musicLength() * editGrid.fps) + 1;
}

// Target i: the middle of one of twenty stretches of the show, visited as
// 0, 7, 14, 1, 8, ... so that no seek starts where the one before ended.
static int64_t seekTarget(int i)
{
    int stretch = i * 7 % SEEK_TARGETS;
    return (int64_t)((stretch + 0.5) * (double)(showEnd() - 1) / SEEK_TARGETS);
}

static void seekAndShow(Screen *screen, int64_t frame, benchmark::State &state)
{
    PrerollReport report;
    prerollTo(screen, &editGrid, frame, showEnd(), &report);
    double t = gridTime(&editGrid, frame);
    FrameRequest request = {musicPositionAt(t), t, 0, 0, 1};
    hostDrawFrameAt(screen, &request);
    state.counters["replayed"] = (double)report.replayed;
    state.counters["at_s"] = t;
}

static void BM_EditPrepare(benchmark::State &state)
{
    Screen *screen = benchHost(state);
    if (!screen)
        return;
    for (auto _ : state) {
        prerollForget();
        PrerollReport report;
        prerollPrepare(screen, &editGrid, showEnd(), &report);
        state.counters["replayed"] = (double)report.replayed;
        state.counters["kept"] = prerollKeptStates();
    }
}
BENCHMARK(BM_EditPrepare)->Unit(benchmark::kMillisecond)->Iterations(1);

static void BM_EditSeek(benchmark::State &state)
{
    Screen *screen = benchHost(state);
    if (!screen)
        return;
    for (auto _ : state)
        seekAndShow(screen, seekTarget((int)state.range(0)), state);
}
BENCHMARK(BM_EditSeek)->DenseRange(0, SEEK_TARGETS - 1)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_SeekWithoutPreparation(benchmark::State &state)
{
    Screen *screen = benchHost(state);
    if (!screen)
        return;
    for (auto _ : state) {
        state.PauseTiming();
        prerollForget();
        state.ResumeTiming();
        seekAndShow(screen, seekTarget((int)state.range(0)), state);
    }
}
BENCHMARK(BM_SeekWithoutPreparation)->DenseRange(0, SEEK_TARGETS - 1)->Unit(benchmark::kMillisecond)->Iterations(1);
