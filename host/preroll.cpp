// The replay before a start: which earlier frames are needed, then drawing
// them without showing them.
#include "host/preroll.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "core/common.h"
#include "fx/carry.h"
#include "fx/fx.h"
#include "host/host.h"
#include "host/music.h"
#include "host/screen.h"
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

// ---------------------------------------------------------------------------
// Kept states
// ---------------------------------------------------------------------------
// A seek in a running show finds the state as the frames played left it. The
// start-up state is kept whole; on the way, the generator, the effects'
// records and the rows outside frame buffer 1's band are kept once a second
// of the grid, so that the next seek replays from the nearest kept state
// instead of from the start. Frame buffers 0 and 2 are kept only at start-up:
// they change every frame, and a frame or two rebuilds them.

enum {
    KEPT_SPACING_SECONDS = 1,
    KEPT_BYTES_MAX = 256 << 20, // beyond this, no more states are kept
};
static const uint32_t KEEPABLE = ~(CARRY_PICTURE | CARRY_SCRATCH2);

struct KeptPiece {
    uint32_t piece;
    std::shared_ptr<const std::vector<uint8_t>> bytes; // shared with the state before when unchanged
};
struct KeptState {
    uint32_t pieces;
    std::vector<KeptPiece> parts;
};

static bool keeping;
static Screen *keptScreen;
static KeptState startState;
static FrameGrid keptGrid;                      // the grid of the states below
static std::map<int64_t, KeptState> keptStates; // by the grid frame they begin
static size_t keptBytes;

// The memory of a piece; the generator, which lives behind its functions,
// is read and written through them.
static int pieceBlocks(uint32_t piece, CarriedBlock *blocks, int max)
{
    const size_t frameBytes = FRAME_WIDTH * FRAME_HEIGHT * sizeof(uint32_t);
    const size_t barBytes = FRAME_WIDTH * PICTURE_FIRST_ROW * sizeof(uint32_t);
    if ((piece == CARRY_PICTURE || piece == CARRY_SCRATCH2) && max >= 1) {
        blocks[0] = {piece == CARRY_PICTURE ? keptScreen->buffer0 : keptScreen->buffer2, frameBytes};
        return 1;
    }
    if (piece == CARRY_SCRATCH1 && max >= 2) { // the rows above and below the band
        blocks[0] = {keptScreen->buffer1, barBytes};
        blocks[1] = {keptScreen->buffer1 + (PICTURE_FIRST_ROW + PICTURE_ROWS) * FRAME_WIDTH, barBytes};
        return 2;
    }
    for (int e = 0; e < FX_EFFECTS; e++) {
        if (piece == carryOwn(e))
            return fxEffects[e].carried ? fxEffects[e].carried(blocks, max) : 0;
    }
    return 0;
}

static std::vector<uint8_t> pieceBytes(uint32_t piece)
{
    std::vector<uint8_t> bytes;
    if (piece == CARRY_RANDOM) {
        uint32_t state = vt::randState();
        bytes.resize(sizeof state);
        memcpy(bytes.data(), &state, sizeof state);
        return bytes;
    }
    CarriedBlock blocks[8];
    int n = std::min(pieceBlocks(piece, blocks, 8), 8);
    for (int i = 0; i < n; i++) {
        const uint8_t *data = (const uint8_t *)blocks[i].data;
        if (data)
            bytes.insert(bytes.end(), data, data + blocks[i].size);
    }
    return bytes;
}

static void restorePiece(uint32_t piece, const std::vector<uint8_t> &bytes)
{
    if (piece == CARRY_RANDOM) {
        uint32_t state;
        memcpy(&state, bytes.data(), std::min(bytes.size(), sizeof state));
        vt::srand(state);
        return;
    }
    CarriedBlock blocks[8];
    int n = std::min(pieceBlocks(piece, blocks, 8), 8);
    size_t at = 0;
    for (int i = 0; i < n; i++) {
        if (!blocks[i].data || at + blocks[i].size > bytes.size())
            continue;
        memcpy(blocks[i].data, bytes.data() + at, blocks[i].size);
        at += blocks[i].size;
    }
}

static void keepState(KeptState *state, uint32_t pieces, const KeptState *before)
{
    state->pieces = pieces;
    state->parts.clear();
    for (int i = 0; i < CARRY_SLOTS; i++) {
        uint32_t piece = 1u << i;
        if (!(pieces & piece))
            continue;
        auto bytes = std::make_shared<const std::vector<uint8_t>>(pieceBytes(piece));
        if (before) {
            for (const KeptPiece &old : before->parts) {
                if (old.piece == piece && *old.bytes == *bytes)
                    bytes = old.bytes;
            }
        }
        if (bytes.use_count() == 1)
            keptBytes += bytes->size();
        state->parts.push_back({piece, bytes});
    }
}

static void restoreState(const KeptState *state, uint32_t pieces)
{
    for (const KeptPiece &part : state->parts) {
        if (pieces & part.piece)
            restorePiece(part.piece, *part.bytes);
    }
}

// Grid frames between two kept states.
static int64_t keptSpacing(const FrameGrid *grid)
{
    return std::max<int64_t>(1, std::llround(grid->fps * KEPT_SPACING_SECONDS));
}

void prerollKeepStates(Screen *screen)
{
    keeping = true;
    keptScreen = screen;
    keptStates.clear();
    keptBytes = 0;
    uint32_t all = 0;
    for (int i = 0; i < CARRY_OWN_FIRST + FX_EFFECTS; i++)
        all |= 1u << i;
    keepState(&startState, all, nullptr);
}

void prerollForget(void)
{
    keptStates.clear();
    keptBytes = 0;
}

int prerollKeptStates(void)
{
    return (int)keptStates.size();
}

// ---------------------------------------------------------------------------
// The replay
// ---------------------------------------------------------------------------

// Brings the pieces in `needed` to where they are when frame `first` begins.
static void replayFor(Screen *screen, const FrameGrid *grid, int64_t first, uint32_t needed, uint64_t began,
                      PrerollReport *report)
{
    int64_t begin = gridBegin(grid);
    report->frames = first > begin ? first - begin : 0;
    if (keeping && (keptGrid.origin != grid->origin || keptGrid.fps != grid->fps)) {
        prerollForget();
        keptGrid = *grid;
    }
    const int64_t spacing = keptSpacing(grid);

    // Backward from the start: a frame is replayed when it writes a piece
    // that a later replayed or seen frame reads; it then needs what it reads.
    // The walk ends where nothing is needed any more, at a kept state that
    // holds everything still needed, or at the beginning of the grid.
    struct Replay {
        int64_t frame;
        bool picture;
    };
    std::vector<Replay> replays;
    std::vector<std::pair<int64_t, uint32_t>> boundaries; // states to keep on the way: frame, pieces
    uint32_t live = needed;
    const KeptState *restoreFrom = keeping ? &startState : nullptr;
    for (int64_t k = first - 1; k >= begin; k--) {
        if (!live) {
            restoreFrom = nullptr;
            break;
        }
        if (keeping) {
            auto kept = keptStates.find(k + 1);
            if (kept != keptStates.end() && (live & ~kept->second.pieces) == 0) {
                restoreFrom = &kept->second;
                break;
            }
            if ((k + 1) % spacing == 0 && (live & KEEPABLE))
                boundaries.push_back({k + 1, live & KEEPABLE});
        }
        setVariablesAt(gridTime(grid, k));
        CarryMap map;
        frameMap(&map, (live & CARRY_PICTURE) != 0, report);
        uint32_t written = live & map.changed;
        if (!written)
            continue;
        replays.push_back({k, (live & CARRY_PICTURE) != 0});
        live = (live & ~map.changed) | unionOf(map.dependsOn, written);
    }
    if (restoreFrom)
        restoreState(restoreFrom, live);
    report->planSeconds = platformSecondsSince(began);

    began = platformCounter();
    auto keepUpTo = [&](int64_t frame) {
        while (!boundaries.empty() && boundaries.back().first <= frame) {
            const auto &b = boundaries.back();
            if (keptBytes < KEPT_BYTES_MAX && !keptStates.count(b.first)) {
                auto before = keptStates.lower_bound(b.first);
                const KeptState *previous = before == keptStates.begin() ? nullptr : &std::prev(before)->second;
                keepState(&keptStates[b.first], b.second, previous);
            }
            boundaries.pop_back();
        }
    };
    for (auto it = replays.rbegin(); it != replays.rend(); ++it) {
        keepUpTo(it->frame);
        double t = gridTime(grid, it->frame);
        FrameRequest request = {musicPositionAt(t), t, 0, 1, it->picture};
        hostDrawFrameAt(screen, &request);
        report->pictures += it->picture;
    }
    keepUpTo(first);
    report->replayed = (int64_t)replays.size();
    report->replaySeconds = platformSecondsSince(began);
}

void prerollTo(Screen *screen, const FrameGrid *grid, int64_t first, int64_t end, PrerollReport *report)
{
    static_assert(CARRY_PICTURE == 1u, "the picture is piece 0");
    *report = PrerollReport();
    uint64_t began = platformCounter();
    replayFor(screen, grid, first, neededAt(grid, first, end, report), began, report);
}

void prerollPrepare(Screen *screen, const FrameGrid *grid, int64_t end, PrerollReport *report)
{
    *report = PrerollReport();
    if (!keeping)
        return;
    // What each second's boundary holds that any frame after it could read,
    // every frame after it counted as seen: one walk back over the whole show.
    // Coverings are not tried here, so pictures count as read a little too
    // often; the seeks themselves try them.
    const int64_t spacing = keptSpacing(grid);
    std::map<int64_t, uint32_t> neededBy;
    uint32_t live = 0;
    int64_t begin = gridBegin(grid);
    for (int64_t k = end - 1; k >= begin; k--) {
        setVariablesAt(gridTime(grid, k));
        CarryMap map;
        frameMap(&map, false, report);
        live |= CARRY_PICTURE;
        live = (live & ~map.changed) | unionOf(map.dependsOn, live & map.changed);
        if (k % spacing == 0 && k > begin)
            neededBy[k] = live & KEEPABLE;
    }
    // Then those pieces at each boundary in turn, each replay starting from the
    // state kept a second before.
    for (const auto &boundary : neededBy) {
        PrerollReport step;
        replayFor(screen, grid, boundary.first, boundary.second, platformCounter(), &step);
        report->replayed += step.replayed;
        report->pictures += step.pictures;
        report->probes += step.probes;
        report->planSeconds += step.planSeconds;
        report->replaySeconds += step.replaySeconds;
    }
}
