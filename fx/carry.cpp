// Frame-to-frame dependences of the drawing steps.
#include "fx/carry.h"

#include <algorithm>

#include "core/common.h"
#include "render/bitmap.h"

// Never produced by the demo's drawings in practice; should one write it, the
// band only counts as uncovered, which costs replayed frames and nothing else.
static const uint32_t UNDRAWN = 0x00C0FFEEu;

void carryBegin(CarryMap *map, uint32_t *probeFrame)
{
    for (int i = 0; i < CARRY_SLOTS; i++)
        map->dependsOn[i] = 1u << i;
    map->changed = 0;
    map->probeFrame = probeFrame;
    map->couldProbe = 0;
}

void carryChange(CarryMap *map, uint32_t outputs, uint32_t inputs)
{
    uint32_t from = 0;
    for (int i = 0; i < CARRY_SLOTS; i++) {
        if (inputs & (1u << i))
            from |= map->dependsOn[i];
    }
    for (int i = 0; i < CARRY_SLOTS; i++) {
        if (outputs & (1u << i))
            map->dependsOn[i] = from;
    }
    map->changed |= outputs;
}

void carryCover(CarryMap *map, CoversFn covers, const EffectContext *ctx, float t)
{
    if (!map->probeFrame) {
        map->couldProbe = 1;
        carryChange(map, CARRY_PICTURE, CARRY_PICTURE);
        return;
    }
    uint32_t generator = vt::randState();
    int covered = covers(ctx, map->probeFrame, t);
    vt::srand(generator);
    carryChange(map, CARRY_PICTURE, covered ? 0 : CARRY_PICTURE);
}

int carryHandOut(const CarriedBlock *kept, int count, CarriedBlock *out, int max)
{
    std::copy_n(kept, std::min(count, max), out);
    return count;
}

void carryMarkBand(uint32_t *frame)
{
    std::fill_n(frame + PICTURE_OFFSET_PIXELS, FRAME_WIDTH * PICTURE_ROWS, UNDRAWN);
}

int carryBandCovered(const uint32_t *frame)
{
    const uint32_t *band = frame + PICTURE_OFFSET_PIXELS;
    return std::find(band, band + FRAME_WIDTH * PICTURE_ROWS, UNDRAWN) == band + FRAME_WIDTH * PICTURE_ROWS;
}
