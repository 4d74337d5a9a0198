// The greetings: the fish test, turned into glowing, colour-split edges, with
// four glitch tiles across the band's middle and the greeting added over them.
#include "fx/greets.h"

#include <cmath>
#include <cstdio>

#include "core/common.h"
#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/image.h"
#include "fx/fx.h"
#include "post/filter.h"
#include "post/post.h"
#include "render/bitmap.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

enum {
    TILE_SPACING = 80,              // tiles sit in the band's four quarters ...
    TILE_CENTRE_X = TILE_SPACING / 2, // ... centred in each
    BAND_CENTRE_X = FRAME_WIDTH / 2,
    BAND_CENTRE_Y = PICTURE_ROWS / 2,
    GREETING_LEVEL = 0, // blitAddMinus level: a plain saturating add, black stays invisible
};

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

static Cvar greets_idx = cvarDefine("greets_idx", "0", 0, 18);

static Cvar *const greetsVars[] = {&greets_idx};
const CvarList greets_vars = cvarListOf(greetsVars);
const CvarList greets_tracked = cvarListOf(greetsVars);

static Greets greets;
static bool greetsBuilt;

// ---------------------------------------------------------------------------
// Private helpers
// ---------------------------------------------------------------------------

// w and h halved toward zero, as the layout is measured.
static void blitCentred(uint32_t *band, const Texture *texture, int32_t cx, int32_t cy, int mode)
{
    if (!texture || !texture->bitmap)
        return;
    const Bitmap *b = texture->bitmap;
    const int32_t x = cx - b->width / 2, y = cy - b->height / 2;
    if (mode == BLIT_COPY)
        blitCopy(band, PICTURE_ROWS, b, x, y);
    else
        blitAddMinus(band, b, x, y, GREETING_LEVEL);
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

const Greets *greets_state(void)
{
    return greetsBuilt ? &greets : nullptr;
}

int32_t greets_number(float idx)
{
    return truncInt(std::floor((double)idx)); // NaN and out-of-range floors give INT32_MIN
}

void greets_chooseTiles(int32_t g, int out[GREETS_TILES_SHOWN])
{
    vt::srand((uint32_t)g);
    for (int i = 0; i < GREETS_TILES_SHOWN; i++)
        out[i] = vt::rand() % GREETS_TILES;
}

// The tiles are drawn at about 70 % of their files' brightness.
static void dimTile(Texture *tile)
{
    imgDim(tile, tile);
}

void greets_setup(const EffectContext *)
{
    if (greetsBuilt)
        return;
    greetsBuilt = true;
    CvarRegisterList(&greets_vars);
    CvarAddFile("greets.vars");
    CvarLoad();

    char name[64];
    for (int k = 0; k < GREETS_PICTURES; k++) {
        snprintf(name, sizeof name, "backgrounds/morla/greets/greets%d.png", k + 1);
        greets.pictures[k] = imgLoad(name);
        imgKeep(name, greets.pictures[k], nullptr);
    }
    for (int k = 0; k < GREETS_TILES; k++) {
        snprintf(name, sizeof name, "backgrounds/morla/greets/morla_glitch%02d.png", k + 1);
        greets.tiles[k] = imgLoad(name);
        imgDim(greets.tiles[k], greets.tiles[k]); // in place; nothing happens to a missing tile
        imgKeep(name, greets.tiles[k], dimTile);
    }
}

// The fish test underneath decides what of the band's old picture shows; the
// tiles reseed the generator.
void greets_carry(const EffectContext *ctx, CarryMap *map, float t)
{
    fishtest_carry(ctx, map, t);
    const AberrationSettings aberration = postAberrationSettings();
    carryChange(map, CARRY_PICTURE, CARRY_PICTURE | (postAberrationReadsPastBand(&aberration) ? CARRY_SCRATCH1 : 0));
    carryChange(map, CARRY_RANDOM, 0);
}

// The post passes run with the chain's own variables, frame buffer 1 as
// their scratch frame.
void greets_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    if (!pixels)
        return;
    const int32_t g = greets_number(greets_idx.value);
    fishtest1_render(ctx, pixels, t);

    uint32_t *band = pixels + PICTURE_OFFSET_PIXELS;
    // The chain's edge strength (0 until the host registers it, after this
    // setup); a shift outside 0..15 gives no edges.
    edgeDetect(band, truncInt(post_edgedetect_factor.value), 0);
    const AberrationSettings aberration = postAberrationSettings();
    postAberration(pixels, ctx->scratch1, &aberration);
    const GlowSettings glow = postGlowSettings();
    postGlow(pixels, ctx->scratch1, &glow);

    int chosen[GREETS_TILES_SHOWN];
    greets_chooseTiles(g, chosen);
    for (int i = 0; i < GREETS_TILES_SHOWN; i++)
        blitCentred(band, greets.tiles[chosen[i]], i * TILE_SPACING + TILE_CENTRE_X, BAND_CENTRE_Y, BLIT_COPY);
    if (g >= 0 && g < GREETS_PICTURES)
        blitCentred(band, greets.pictures[g], BAND_CENTRE_X, BAND_CENTRE_Y, BLIT_ADD_MINUS);
}
