// The replay before a start: which earlier frames are needed, then drawing
// them without showing them.
#include "host/preroll.h"

#include <cmath>
#include <vector>

#include "core/common.h"
#include "fx/carry.h"
#include "host/host.h"
#include "host/music.h"
#include "platform/platform.h"
#include "render/bitmap.h"
#include "sync/sync.h"

// A frame's position on the grid of a run from 0 may differ from the asked
// start by rounding only.
static const double ON_GRID_SECONDS = 1e-6;

double gridTime(const FrameGrid *grid, int64_t frame)
{
    return grid->origin + (double)frame / grid->fps;
}

int64_t gridBegin(const FrameGrid *grid)
{
    int64_t j = -(int64_t)std::floor(grid->origin * grid->fps);
    while (gridTime(grid, j) < 0.0)
        j++;
    return j;
}

void gridFor(double start, double fps, FrameGrid *grid, int64_t *first)
{
    double m = std::nearbyint(start * fps);
    if (std::fabs(m / fps - start) <= ON_GRID_SECONDS) {
        *grid = {0.0, fps};
        *first = (int64_t)m;
    } else {
        *grid = {start, fps};
        *first = 0;
    }
}

// The variables of a grid frame, as the frame loop sets them.
static void setVariablesAt(double seconds)
{
    syncUpdateVariables(musicPositionAt(seconds) * ROWS_PER_SECOND);
}

// A frame block of its own in which coverings are tried.
static uint32_t *probeFrame(void)
{
    static uint32_t *block = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
    return block ? block + FRAME_GUARD_PIXELS : nullptr;
}

// The frame's map with the variables as they stand; when a covering drawing
// was assumed not to cover and `worthTrying` says it would matter, it is
// tried.
static void frameMap(CarryMap *map, bool worthTrying, PrerollReport *report)
{
    carryBegin(map, nullptr);
    hostFrameCarry(map);
    uint32_t *probe = probeFrame();
    if (map->couldProbe && worthTrying && probe) {
        carryBegin(map, probe);
        hostFrameCarry(map);
        report->probes++;
    }
}

static uint32_t unionOf(const uint32_t *sets, uint32_t members)
{
    uint32_t all = 0;
    for (int i = 0; i < CARRY_SLOTS; i++) {
        if (members & (1u << i))
            all |= sets[i];
    }
    return all;
}

// What the frames first to end - 1 read of the state frame `first` finds:
// the pieces their pictures follow from. Follows each piece forward until
// none can add anything.
static uint32_t neededAt(const FrameGrid *grid, int64_t first, int64_t end, PrerollReport *report)
{
    uint32_t from[CARRY_SLOTS]; // each piece now, as a function of the pieces at `first`
    for (int i = 0; i < CARRY_SLOTS; i++)
        from[i] = 1u << i;
    uint32_t needed = 0;
    for (int64_t j = first; j < end; j++) {
        setVariablesAt(gridTime(grid, j));
        CarryMap map;
        frameMap(&map, (from[0] & ~needed) != 0, report);
        uint32_t next[CARRY_SLOTS];
        for (int i = 0; i < CARRY_SLOTS; i++)
            next[i] = (map.changed & (1u << i)) ? unionOf(from, map.dependsOn[i]) : from[i];
        bool open = false;
        for (int i = 0; i < CARRY_SLOTS; i++) {
            from[i] = next[i];
            open |= (from[i] & ~needed) != 0;
        }
        needed |= from[0]; // every frame's picture is seen
        if (!open)
            break;
    }
    return needed;
}

void prerollRun(Screen *screen, const FrameGrid *grid, int64_t first, int64_t end, PrerollReport *report)
{
    static_assert(CARRY_PICTURE == 1u, "the picture is piece 0");
    *report = PrerollReport();
    int64_t begin = gridBegin(grid);
    if (first <= begin)
        return;
    report->frames = first - begin;
    uint64_t began = platformCounter();

    // Backward from the start: a frame is replayed when it writes a piece
    // that a later replayed or seen frame reads; it then needs what it reads.
    struct Replay {
        int64_t frame;
        bool picture;
    };
    std::vector<Replay> replays;
    uint32_t live = neededAt(grid, first, end, report);
    for (int64_t k = first - 1; k >= begin && live; k--) {
        setVariablesAt(gridTime(grid, k));
        CarryMap map;
        frameMap(&map, (live & CARRY_PICTURE) != 0, report);
        uint32_t written = live & map.changed;
        if (!written)
            continue;
        replays.push_back({k, (live & CARRY_PICTURE) != 0});
        live = (live & ~map.changed) | unionOf(map.dependsOn, written);
    }
    report->planSeconds = platformSecondsSince(began);

    began = platformCounter();
    for (auto it = replays.rbegin(); it != replays.rend(); ++it) {
        double t = gridTime(grid, it->frame);
        FrameRequest request = {musicPositionAt(t), t, 0, 1, it->picture};
        hostDrawFrameAt(screen, &request);
        report->pictures += it->picture;
    }
    report->replayed = (int64_t)replays.size();
    report->replaySeconds = platformSecondsSince(began);
}
