// Glitch displacement frames. The glitch pass reads one pixel per 2 x 2 block
// of the picture, row stride 160: red minus 127 shifts the block sideways,
// green minus 127 up or down, both scaled by the pass's strengths. The host
// steps through the 98 frames 25 times a second after smoothing each with a
// 2 x 2 box, which keeps 127 at 127 and softens the shards' edges by a pixel.
//
// The frames are one short animation: small shards that live a few frames
// and drift, and every second or so a burst of torn strips. Every frame keeps
// most blocks neutral and moves at least one.
#include "pictures.h"

#include <algorithm>
#include <cmath>

enum { FRAMES = 98, FIRST_FRAME = 2 };

enum ShardKind {
    SHARD_BLOCK,  // a rectangle moved as one
    SHARD_STRIP,  // a thin band, wide, short-lived
    SHARD_TEAR,   // a band whose sideways shift ramps across it: a stretched, torn look
    SHARD_JITTER, // a block whose rows shift by different amounts
};

struct Shard {
    ShardKind kind;
    int born, life;   // frames 0..97 it is visible: born <= f < born + life
    float x, y;       // top-left in displacement pixels at birth
    float vx, vy;     // drift per frame
    int w, h;
    int dr, dg;       // red and green away from neutral
    uint32_t seed;    // for the jitter's rows
};

static int signedAmount(Rng &rng, int lo, int hi)
{
    int a = lo + rng.below(hi - lo + 1);
    return rng.below(2) ? a : -a;
}

static Shard makeShard(Rng &rng, ShardKind kind, int born)
{
    Shard s{};
    s.kind = kind;
    s.born = born;
    s.seed = rng.next();
    switch (kind) {
    case SHARD_BLOCK:
    case SHARD_JITTER:
        s.w = 4 + rng.below(25);
        s.h = 2 + rng.below(9);
        s.life = 3 + rng.below(8);
        s.vx = rng.range(-3.0f, 3.0f);
        s.vy = rng.range(-1.0f, 1.0f);
        s.dr = signedAmount(rng, 30, 128);
        s.dg = rng.below(10) < 3 ? signedAmount(rng, 20, 90) : 0;
        break;
    case SHARD_STRIP:
    case SHARD_TEAR:
        s.w = rng.below(3) == 0 ? GLITCH_WIDTH : 40 + rng.below(GLITCH_WIDTH - 40);
        s.h = 1 + rng.below(4);
        s.life = 1 + rng.below(3);
        s.vx = 0;
        s.vy = rng.range(-2.0f, 2.0f);
        s.dr = signedAmount(rng, 40, 128);
        s.dg = rng.below(8) == 0 ? signedAmount(rng, 10, 40) : 0;
        break;
    }
    s.x = (float)rng.below(GLITCH_WIDTH - std::min(s.w, GLITCH_WIDTH - 1));
    s.y = (float)rng.below(GLITCH_HEIGHT - s.h);
    return s;
}

static bool alive(const Shard &s, int frame)
{
    return frame >= s.born && frame < s.born + s.life;
}

// The whole animation's shards, the same list on every call.
static const std::vector<Shard> &shards()
{
    static const std::vector<Shard> list = [] {
        std::vector<Shard> out;
        Rng rng(0x6C17C4);
        int nextBurst = 6 + rng.below(8), burstLeft = 0;
        for (int f = 0; f < FRAMES; f++) {
            if (rng.below(3) == 0)
                out.push_back(makeShard(rng, rng.below(3) ? SHARD_BLOCK : SHARD_JITTER, f));
            if (f == nextBurst) {
                burstLeft = 2 + rng.below(3);
                nextBurst = f + 14 + rng.below(14);
            }
            if (burstLeft > 0) {
                burstLeft--;
                for (int n = 4 + rng.below(8); n > 0; n--)
                    out.push_back(makeShard(rng, rng.below(3) ? SHARD_STRIP : SHARD_TEAR, f));
                out.push_back(makeShard(rng, SHARD_BLOCK, f));
            }
            // No frame without a glitch: the pass is switched on by the tracks
            // exactly when something should move.
            bool any = std::any_of(out.begin(), out.end(), [f](const Shard &s) { return alive(s, f); });
            if (!any)
                out.push_back(makeShard(rng, SHARD_BLOCK, f));
        }
        return out;
    }();
    return list;
}

static uint8_t offsetByte(int amount)
{
    return (uint8_t)std::clamp(GLITCH_NEUTRAL + amount, 0, 255);
}

Picture glitchFrame(int number)
{
    int frame = std::clamp(number - FIRST_FRAME, 0, FRAMES - 1);
    std::vector<uint8_t> red((size_t)GLITCH_WIDTH * GLITCH_HEIGHT, GLITCH_NEUTRAL);
    std::vector<uint8_t> green(red);
    for (const Shard &s : shards()) {
        if (!alive(s, frame))
            continue;
        int age = frame - s.born;
        int x0 = (int)std::lround(s.x + s.vx * (float)age), y0 = (int)std::lround(s.y + s.vy * (float)age);
        for (int y = std::max(y0, 0); y < std::min(y0 + s.h, (int)GLITCH_HEIGHT); y++) {
            int dr = s.dr;
            if (s.kind == SHARD_JITTER) {
                Rng row(s.seed + (uint64_t)y * 977u + (uint64_t)frame * 131u);
                dr = s.dr * (row.below(5) - 2) / 2;
            }
            for (int x = std::max(x0, 0); x < std::min(x0 + s.w, (int)GLITCH_WIDTH); x++) {
                int r = dr;
                if (s.kind == SHARD_TEAR)
                    r = dr * ((x - x0) % 24) / 23; // sawtooth: 0 to full every 24 pixels
                red[(size_t)y * GLITCH_WIDTH + x] = offsetByte(r);
                green[(size_t)y * GLITCH_WIDTH + x] = offsetByte(s.dg);
            }
        }
    }
    Picture picture;
    picture.width = GLITCH_WIDTH;
    picture.height = GLITCH_HEIGHT;
    picture.pixels.resize(red.size());
    for (size_t i = 0; i < red.size(); i++)
        picture.pixels[i] = 0xFF000000u | (uint32_t)red[i] << 16 | (uint32_t)green[i] << 8 | GLITCH_NEUTRAL;
    return picture;
}
