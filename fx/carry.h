// What one frame leaves for the next. A few pieces of state carry from frame
// to frame: the picture in frame buffer 0, frame buffer 2, the shared random
// generator and the records some effects keep. To start in the middle of the
// show exactly as a run from the start would be there, the host replays only
// the earlier frames whose results are still needed; every drawing step says
// here which pieces it changes and which pieces they then follow from.
//
// Saying too much is always safe (more frames are replayed); saying too
// little makes a start differ from the show, which the exact-start tests
// catch.
#pragma once

#include <cstddef>
#include <cstdint>

struct EffectContext;

constexpr uint32_t CARRY_PICTURE = 1u << 0; // frame buffer 0's picture band; its bars are clear when a frame begins
// Frame buffer 1 outside the picture band: the passes use the band as their
// scratch picture but read a row past it, which only the voxel landscape's
// blur writes, and it keeps what it got for as long as no landscape is drawn.
constexpr uint32_t CARRY_SCRATCH1 = 1u << 1;
constexpr uint32_t CARRY_SCRATCH2 = 1u << 2; // frame buffer 2, all of it: the tunnel's frame, the voxel landscape's source
constexpr uint32_t CARRY_RANDOM = 1u << 3;   // the shared generator
enum {
    CARRY_OWN_FIRST = 4, // then one piece per effect table entry: the records the effect keeps
    CARRY_SLOTS = 16,
};
// The records effect number `effect` keeps from frame to frame.
constexpr uint32_t carryOwn(int effect)
{
    return 1u << (CARRY_OWN_FIRST + effect);
}

// Draws an effect's frame into `frame` (a whole frame block's row 0) and
// answers 1 when the drawing covered every pixel of the picture band, so
// that nothing of what lay under it can show through.
typedef int (*CoversFn)(const EffectContext *ctx, uint32_t *frame, float t);

// One frame's steps so far, as a function from the pieces the frame found
// to the pieces as they stand now.
struct CarryMap {
    uint32_t dependsOn[CARRY_SLOTS]; // for each piece: the pieces, as the frame found them, it follows from
    uint32_t changed;                // pieces a step wrote (a step that keeps a piece's dependence writes it too)
    uint32_t *probeFrame;            // a frame to try a covering drawing in; null: assume it does not cover
    int32_t couldProbe;              // a drawing that may cover the picture was assumed not to
};

// An empty map: every piece still is what the frame found.
void carryBegin(CarryMap *map, uint32_t *probeFrame);
// A step that writes the pieces in `outputs` from the pieces in `inputs`, as
// they stand before the step.
void carryChange(CarryMap *map, uint32_t outputs, uint32_t inputs);
// A step that draws the picture opaquely but maybe not all of it: with a
// probe frame, the drawing is tried there (the generator is put back after);
// when it covers the band, the picture follows from nothing before it.
void carryCover(CarryMap *map, CoversFn covers, const EffectContext *ctx, float t);

// Fills the picture band of a frame with a word no drawing is expected to
// leave, and after the drawing, says whether none of it is left.
void carryMarkBand(uint32_t *frame);
int carryBandCovered(const uint32_t *frame);

// Memory that holds records an effect keeps, for snapshots of the show's
// state.
struct CarriedBlock {
    void *data;
    size_t size;
};
// Hands out an effect's blocks: copies at most max of them into out and
// returns how many there are.
int carryHandOut(const CarriedBlock *kept, int count, CarriedBlock *out, int max);
