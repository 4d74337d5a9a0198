// The voronoi mosaic (foreground effect 1): the object layer reduced to one
// colour per 4 x 4 block, repainted through an animated Voronoi diagram whose
// 16 frames are built once at start-up.
#include "fx/envtest.h"

#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "core/parallel.h"
#include "core/startup.h"
#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "post/filter.h"
#include "render/bitmap.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

enum {
    REDUCED_LAST = ENVTEST_REDUCED_WIDTH * ENVTEST_REDUCED_HEIGHT - 1,
    GRID_WIDTH = FRAME_WIDTH + 1, // a row of cells, one more for the right neighbour of the last pixel
};
static const int32_t CELL_LIMIT = 1 << 20; // the search stays within this many cells of the origin

static const float TWO_PI = 6.28318530718f;
static const float HALF_PI = 1.57079632679f;
static const float SEARCH_START = 1e6f;         // farther than any feature point
static const float JITTER_SCALE = 0.003921568f; // a byte to 0..1
static const uint32_t BORDER_LIFT = 0x10101010u; // added light along cell borders, all four bytes
static const float FRAMES_PER_TIME = 25.0f;     // the 16-frame loop runs at 25 frames per unit of t

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

// Registered and written back with the others; the mosaic reads none of them.
static Cvar voronoi_scale = cvarDefine("voronoi_scale", "1", 0, 100);
static Cvar voronoi_shift = cvarDefine("voronoi_shift", "0", 0, 10);
static Cvar voronob_blend = cvarDefine("voronob_blend", "1", 0, 5);
static Cvar voronoi_brightness = cvarDefine("voronoi_brightness", "0", 0, 1);

static Cvar *const envtestVarList[] = {&voronoi_scale, &voronoi_shift, &voronob_blend, &voronoi_brightness};
const CvarList envtest_vars = cvarListOf(envtestVarList);
const CvarList envtest_tracked = {nullptr, 0}; // tracks drive none

static float jitter[ENVTEST_JITTER_SIZE];
// Entries held as the bytes of 640 x 240 one-byte bitmaps, two bytes each.
static Texture *cellFrames[ENVTEST_CELL_FRAMES];
static Texture *reducedPicture; // 80 x 60, BITMAP_RGB32

// ---------------------------------------------------------------------------
// Cells
// ---------------------------------------------------------------------------

static float sineOf(float angle)
{
    return sin_table[truncInt(angle / TWO_PI * (float)SIN_TABLE_SIZE) & (SIN_TABLE_SIZE - 1)];
}

uint32_t envtestCellOf(float x, float y, float t)
{
    const float fx = std::floor(x), fy = std::floor(y);
    // Far beyond any frame, but the neighbour cells must not overflow.
    const int32_t X = std::clamp(truncInt(fx), -CELL_LIMIT, CELL_LIMIT);
    const int32_t Y = std::clamp(truncInt(fy), -CELL_LIMIT, CELL_LIMIT);
    const float f = x - fx, g = y - fy;
    const float tau = TWO_PI * t;
    float best = SEARCH_START;
    int32_t winX = 0, winY = 0;
    for (int dy = -1; dy <= 1; dy++) {
        for (int dx = -1; dx <= 1; dx++) {
            const int32_t cx = X + dx, cy = Y + dy;
            const float s1 = sineOf(10.0f * (float)cy + tau - HALF_PI);
            const float s2 = sineOf(20.0f * (float)cx + tau);
            const float s3 = sineOf(30.0f * (float)cy + tau - HALF_PI);
            // Unsigned so that negative cells wrap as two's complement would.
            const uint32_t h1 = (364u * (uint32_t)cy - 109u * (uint32_t)cx) & (ENVTEST_JITTER_SIZE - 1);
            const uint32_t h2 = (0u - 456u * (uint32_t)cy - 109u * (uint32_t)cx) & (ENVTEST_JITTER_SIZE - 1);
            const float ox = (s1 * s2 + 1.0f) * 0.4f + jitter[h1];
            const float oy = (s3 + 1.0f) * 0.2f + jitter[h2];
            const float ex = (float)dx - f + ox, ey = (float)dy - g + oy;
            const float d2 = ex * ex + ey * ey;
            if (d2 < best) { // ties keep the earlier candidate
                best = d2;
                winX = std::max(cx, 0); // cells left of or above the frame count as the first column or row
                winY = std::max(cy, 0);
            }
        }
    }
    return 0xFF000000u | (uint32_t)(winX & 255) << 16 | (uint32_t)(winY & 255) << 8;
}

// The next 1024 draws of the demo generator.
static void fillJitter(void)
{
    for (float &j : jitter)
        j = (float)(vt::rand() & 255) * JITTER_SCALE;
}

// Cell coordinates of pixel column x and row y, one cell per 4 pixels. Worked
// in double and then narrowed, every fourth pixel lands on its cell's edge
// exactly (or just past it), never just before it in the cell to the left.
static float cellColumn(int x)
{
    return (float)((double)x * 0.003125 * 80.0);
}

static float cellRow(int y)
{
    return (float)((double)y * 0.004166667 * 60.0);
}

static void cellRowOf(uint32_t *cells, int y, float t)
{
    const float cy = cellRow(y);
    for (int x = 0; x < GRID_WIDTH; x++)
        cells[x] = envtestCellOf(cellColumn(x), cy, t);
}

void envtestBuildCellFrame(uint16_t *entries, float t)
{
    // The cell right of pixel x is the cell of pixel x + 1 and the one below
    // pixel y that of pixel y + 1, so each grid point is searched once.
    uint32_t rows[2][GRID_WIDTH];
    uint32_t *here = rows[0], *below = rows[1];
    cellRowOf(here, 0, t);
    for (int y = 0; y < FRAME_HEIGHT; y++) {
        cellRowOf(below, y + 1, t);
        uint16_t *out = entries + y * FRAME_WIDTH;
        for (int x = 0; x < FRAME_WIDTH; x++) {
            const uint32_t a = here[x];
            const uint32_t border = a != here[x + 1] || a != below[x + 1] || a != below[x];
            const uint32_t cx = (a >> 16) & 255, cy = (a >> 8) & 255;
            out[x] = (uint16_t)(border | cy << ENVTEST_ROW_SHIFT | cx << ENVTEST_COLUMN_SHIFT);
        }
        std::swap(here, below);
    }
}

static void buildCellFrameSlot(int k, void *)
{
    if (cellFrames[k])
        envtestBuildCellFrame((uint16_t *)cellFrames[k]->bitmap->pixels, (float)k * 0.0625f);
}

int envtestFrameIndex(float t)
{
    // Masking is a floored modulo, so negative times stay in the loop too.
    return truncInt(t * FRAMES_PER_TIME) & (ENVTEST_CELL_FRAMES - 1);
}

const uint16_t *envtestCellFrame(int k)
{
    const Texture *frame = cellFrames[k & (ENVTEST_CELL_FRAMES - 1)];
    return frame ? (const uint16_t *)frame->bitmap->pixels : nullptr;
}

// ---------------------------------------------------------------------------
// Frame
// ---------------------------------------------------------------------------

// Each reduced pixel is twice the mean of its 4 x 4 block, per byte, capped
// at 255. A block's byte sums reach at most 16 * 255 = 4080, so two of them
// share a 32-bit word without carrying into each other.
static void reduceFrame(const uint32_t *pixels, uint32_t *reduced)
{
    for (int r = 0; r < ENVTEST_REDUCED_HEIGHT; r++) {
        for (int c = 0; c < ENVTEST_REDUCED_WIDTH; c++) {
            const uint32_t *block = pixels + (r * FRAME_WIDTH + c) * 4;
            uint32_t blueRed = 0, greenAlpha = 0;
            for (int y = 0; y < 4; y++) {
                for (int x = 0; x < 4; x++) {
                    const uint32_t p = block[y * FRAME_WIDTH + x];
                    blueRed += p & 0x00FF00FFu;
                    greenAlpha += (p >> 8) & 0x00FF00FFu;
                }
            }
            const uint32_t sums[4] = {blueRed & 0xFFFF, greenAlpha & 0xFFFF, blueRed >> 16, greenAlpha >> 16};
            uint32_t out = 0;
            for (int lane = 0; lane < 4; lane++)
                out |= std::min(sums[lane] >> 3, 255u) << (8 * lane);
            reduced[r * ENVTEST_REDUCED_WIDTH + c] = out;
        }
    }
}

// Every pixel takes the reduced colour of its cell. Cells of the last column
// or row may lie one beyond the reduced picture (column 80 reads the next
// row's first pixel); past its end the last pixel stands in.
static void paintMosaic(uint32_t *pixels, const uint16_t *cells, const uint32_t *reduced)
{
    for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; i++) {
        const uint32_t e = cells[i];
        const uint32_t at = ((e >> ENVTEST_ROW_SHIFT) & ENVTEST_ROW_MASK) * ENVTEST_REDUCED_WIDTH +
                            (e >> ENVTEST_COLUMN_SHIFT);
        pixels[i] = reduced[std::min(at, (uint32_t)REDUCED_LAST)] | (e & ENVTEST_BORDER_BIT) * BORDER_LIFT;
    }
}

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------

void envtest_setup(const EffectContext *ctx)
{
    CvarRegisterList(&envtest_vars);
    CvarAddFile("envtest.vars");
    CvarLoad();

    timerStartupPush(STARTUP_VORONOI);
    // Continues the generator where the earlier setups left it.
    fillJitter();
    for (int k = 0; k < ENVTEST_CELL_FRAMES; k++) {
        // 2 bytes per entry: a 320-entry row is 640 one-byte pixels.
        Texture *frame = txt_CreateTexture(FRAME_WIDTH * 2, FRAME_HEIGHT, BITMAP_GRAY8);
        if (!frame || !frame->bitmap->pixels) {
            txt_FreeTexture(frame);
            continue;
        }
        cellFrames[k] = frame;
    }
    // The frames only read the jitter table: built on every core at once.
    parallelFor(ENVTEST_CELL_FRAMES, buildCellFrameSlot, nullptr);
    timerStartupPop();
    reducedPicture = txt_CreateTexture(ENVTEST_REDUCED_WIDTH, ENVTEST_REDUCED_HEIGHT, BITMAP_RGB32);
    if (reducedPicture && !reducedPicture->bitmap->pixels) {
        txt_FreeTexture(reducedPicture);
        reducedPicture = nullptr;
    }
    engtest_setup(ctx);
}

void envtestPaint(uint32_t *pixels, float t, int32_t mouseButtons)
{
    if (!pixels || !reducedPicture)
        return;
    uint32_t *reduced = (uint32_t *)reducedPicture->bitmap->pixels;
    reduceFrame(pixels, reduced);
    blitCopy(pixels, FRAME_HEIGHT, reducedPicture->bitmap, 0, 0);

    // While a mouse button is held the object layer stays visible, the
    // reduced picture in its corner.
    if (mouseButtons != 0)
        return;
    const uint16_t *cells = envtestCellFrame(envtestFrameIndex(t));
    if (cells)
        paintMosaic(pixels, cells, reduced);
}

// The mosaic repaints the whole frame from the object layer drawn over what
// the frame held.
void envtest_carry(const EffectContext *, CarryMap *map, float)
{
    carryChange(map, CARRY_PICTURE, CARRY_PICTURE);
}

void envtest_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    if (!pixels)
        return;
    engtest_render(ctx, pixels, t * 0.1f);
    envtestPaint(pixels, t, ctx->mouseButtons);
}
