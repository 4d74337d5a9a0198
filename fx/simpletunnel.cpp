// The lookup-table tunnel: two per-pixel tables of angle and depth bytes turn
// every frame into one table read, one texel read and a packed multiply per
// pixel, written into frame buffer 2 for the voxel landscape to build on.
#include "fx/simpletunnel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cvar/cvarfile.h"
#include "data/image.h"
#include "fx/fx.h"
#include "core/common.h"
#include "core/simd.h" // Required for: SSE2_OR_REF and the SSE2 pixel kernel
#include "render/bitmap.h"
#include "core/mathfn.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

enum {
    TUNNEL_WIDTH = FRAME_WIDTH,
    TUNNEL_HEIGHT = FRAME_HEIGHT,
    TUNNEL_CENTRE_X = TUNNEL_WIDTH / 2,
    TUNNEL_CENTRE_Y = TUNNEL_HEIGHT / 2,
    TUNNEL_TEXELS = TUNNEL_TEXTURE_SIDE * TUNNEL_TEXTURE_SIDE,
    TUNNEL_PICTURES = 3, // slots 0..2 come from files, 3 and 4 are painted
};

static const double TURNS_PER_RADIAN = 0.15915494309189535;
// Added to the angle in turns, not radians: it only moves the texture's seam.
static const double ANGLE_SEAM = 3.141592653589793;
static const double FLAT_DEPTH_SCALE = 0.00625 * 255; // depth 0..255 over 160 pixels of radius
static const double PERSPECTIVE_DEPTH = 3000.0;      // depth byte = this / radius

// ---------------------------------------------------------------------------
// Variables
// ---------------------------------------------------------------------------

Cvar simpletunnel_texture_idx = cvarDefine("simpletunnel_texture_idx", "0", 0, 4);
Cvar simpletunnel_angle = cvarDefine("simpletunnel_angle", "0", 0, 255);
Cvar simpletunnel_shift = cvarDefine("simpletunnel_shift", "0", 0, 255);
Cvar simpletunnel_split_period = cvarDefine("simpletunnel_split_period", "0", 0, 16);
Cvar simpletunnel_perspective = cvarDefine("simpletunnel_perspective", "0", 0, 1);
Cvar simpletunnel_color = cvarDefine("simpletunnel_color", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);

static Cvar *const tunnelVarList[] = {&simpletunnel_texture_idx, &simpletunnel_angle,       &simpletunnel_shift,
                                      &simpletunnel_split_period, &simpletunnel_perspective, &simpletunnel_color};
static Cvar *const tunnelTrackedList[] = {&simpletunnel_texture_idx, &simpletunnel_angle, &simpletunnel_shift};
const CvarList simpletunnel_vars = cvarListOf(tunnelVarList);
const CvarList simpletunnel_tracked = cvarListOf(tunnelTrackedList);

// ---------------------------------------------------------------------------
// Module state (built once by the setup)
// ---------------------------------------------------------------------------

static Texture *tunnelTextures[TUNNEL_SLOTS];
static uint16_t *flatTable;
static uint16_t *perspectiveTable;

// ---------------------------------------------------------------------------
// Set-up helpers
// ---------------------------------------------------------------------------

// The picture slots must be 256 x 256: the texel index wraps in 16 bits.
static Texture *loadPicture(int number)
{
    char path[64];
    snprintf(path, sizeof path, "textures/back_tunel/txt%d.png", number);
    Texture *texture = imgLoad(path);
    const Bitmap *b = texture ? texture->bitmap : nullptr;
    if (!b || !b->pixels || b->format != BITMAP_RGB32 || b->width != TUNNEL_TEXTURE_SIDE ||
        b->height != TUNNEL_TEXTURE_SIDE) {
        logTagged("simpletunnel_setup", 81, "Image %s not found or not 256x256\n", path);
        printf("\n");
        exit(10);
    }
    imgKeep(path, texture, nullptr);
    return texture;
}

// White where the test holds, black elsewhere.
template <typename Pattern> static Texture *paintTexture(Pattern white)
{
    Texture *texture = txt_CreateTexture(TUNNEL_TEXTURE_SIDE, TUNNEL_TEXTURE_SIDE, BITMAP_RGB32);
    uint32_t *pixels = texture && texture->bitmap ? (uint32_t *)texture->bitmap->pixels : nullptr;
    if (!pixels)
        return texture; // drawn as nothing (see simpletunnel_render)
    for (int y = 0; y < TUNNEL_TEXTURE_SIDE; y++)
        for (int x = 0; x < TUNNEL_TEXTURE_SIDE; x++)
            pixels[y * TUNNEL_TEXTURE_SIDE + x] = white(x, y) ? 0xFFFFFFFFu : 0u;
    return texture;
}

static void buildTables(void)
{
    flatTable = (uint16_t *)allocAligned(TUNNEL_WIDTH * TUNNEL_HEIGHT, sizeof(uint16_t));
    perspectiveTable = (uint16_t *)allocAligned(TUNNEL_WIDTH * TUNNEL_HEIGHT, sizeof(uint16_t));
    if (!flatTable || !perspectiveTable)
        return;
    for (int y = 0; y < TUNNEL_HEIGHT; y++) {
        for (int x = 0; x < TUNNEL_WIDTH; x++) {
            const int dx = x - TUNNEL_CENTRE_X, dy = y - TUNNEL_CENTRE_Y;
            const double r = std::sqrt((double)(dx * dx + dy * dy));
            // Measured from +y; the sum is positive, so truncation is a floor.
            const int angle = (int)((mth_atan2((double)dx, (double)dy) * TURNS_PER_RADIAN + ANGLE_SEAM) * 256.0) & 255;
            const int flat = (int)(r * FLAT_DEPTH_SCALE) & 255;
            const int perspective = r > 0.0 ? (int)(PERSPECTIVE_DEPTH / r) & 255 : 0;
            flatTable[y * TUNNEL_WIDTH + x] = (uint16_t)(angle << 8 | flat);
            perspectiveTable[y * TUNNEL_WIDTH + x] = (uint16_t)(angle << 8 | perspective);
        }
    }
}

// ---------------------------------------------------------------------------
// Per-frame settings
// ---------------------------------------------------------------------------

// floor(v) mod 5 with a non-negative result; values a track makes unusable
// (NaN, infinities) select slot 0.
static int textureSlot(float v)
{
    const double f = std::floor((double)v);
    if (!std::isfinite(f))
        return 0;
    double slot = std::fmod(f, (double)TUNNEL_SLOTS);
    if (slot < 0.0)
        slot += TUNNEL_SLOTS;
    return (int)slot;
}

// A colour component as its 0..255 byte (scale 255, alpha 250), then halved
// into a 7-bit multiplier.
static uint32_t multiplier(float component, float scale)
{
    const int32_t byte = truncInt((double)(component * scale));
    return (uint32_t)(byte < 0 ? 0 : byte > 255 ? 255 : byte) >> 1;
}

void simpletunnel_rings(uint8_t rotation[256], float angle, float period, int perspective)
{
    const uint8_t forward = (uint8_t)(truncInt(angle) & 255);
    const uint8_t backward = (uint8_t)(truncInt(255.0f - angle) & 255);
    for (int d = 0; d < 256; d++) {
        if (!(period > 0.0f)) {
            rotation[d] = forward;
            continue;
        }
        // A tiny period drives the count past int: truncInt gives INT32_MIN, an even ring.
        int32_t ring;
        if (perspective)
            ring = d == 0 ? 0 : truncInt((256.0 / d) / period);
        else
            ring = truncInt(d / (period * 10.0f));
        rotation[d] = (ring & 1) ? forward : backward;
    }
}

const uint16_t *simpletunnel_table(int perspective)
{
    return perspective ? perspectiveTable : flatTable;
}

// ---------------------------------------------------------------------------
// Pixel kernels
// ---------------------------------------------------------------------------

static inline uint32_t tunnelTexel(const TunnelFrame *frame, uint16_t entry)
{
    return frame->texels[(uint16_t)(frame->ringBase[entry & 255] + entry)];
}

void tunnelDrawRef(const TunnelFrame *frame, uint32_t *pixels)
{
    for (int i = 0; i < TUNNEL_WIDTH * TUNNEL_HEIGHT; i++) {
        const uint32_t texel = tunnelTexel(frame, frame->table[i]);
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t m = (frame->multipliers >> shift) & 255;
            out |= ((((texel >> shift) & 255) * m) >> 7) << shift;
        }
        pixels[i] = out;
    }
}

#ifdef VANTOREL_SSE2
void tunnelDrawSSE2(const TunnelFrame *frame, uint32_t *pixels)
{
    const __m128i zero = _mm_setzero_si128();
    // The four multipliers as 16-bit lanes, once for each of two pixels.
    const __m128i mul = _mm_unpacklo_epi8(_mm_set1_epi32((int)frame->multipliers), zero);
    for (int tileY = 0; tileY < TUNNEL_HEIGHT; tileY += TUNNEL_TILE) {
        for (int tileX = 0; tileX < TUNNEL_WIDTH; tileX += TUNNEL_TILE) {
            for (int y = tileY; y < tileY + TUNNEL_TILE; y++) {
                const uint16_t *entries = frame->table + y * TUNNEL_WIDTH + tileX;
                uint32_t *out = pixels + y * TUNNEL_WIDTH + tileX;
                for (int x = 0; x < TUNNEL_TILE; x += 4) {
                    const __m128i texels = _mm_setr_epi32(
                        (int)tunnelTexel(frame, entries[x]), (int)tunnelTexel(frame, entries[x + 1]),
                        (int)tunnelTexel(frame, entries[x + 2]), (int)tunnelTexel(frame, entries[x + 3]));
                    // byte * m <= 255 * 127 fits a 16-bit lane; >> 7 leaves a byte, so packing never clamps.
                    const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(texels, zero), mul), 7);
                    const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(texels, zero), mul), 7);
                    _mm_storeu_si128((__m128i *)(out + x), _mm_packus_epi16(lo, hi));
                }
            }
        }
    }
}
#endif

// ---------------------------------------------------------------------------
// Effect entry points
// ---------------------------------------------------------------------------

void simpletunnel_setup(const EffectContext *)
{
    CvarRegisterList(&simpletunnel_vars);
    CvarAddFile("simpletunnel.vars");
    CvarLoad();

    for (int i = 0; i < TUNNEL_PICTURES; i++)
        tunnelTextures[i] = loadPicture(i + 1);
    tunnelTextures[3] = paintTexture([](int, int y) { return (y >> 4) & 1; });            // horizontal bands
    tunnelTextures[4] = paintTexture([](int x, int y) { return (x >> 6) & 1 && (y >> 4) & 1; }); // blocks
    buildTables();
}

// The texture the tunnel wears now, or null.
static const uint32_t *chosenTexels(void)
{
    const Texture *texture = tunnelTextures[textureSlot(simpletunnel_texture_idx.value)];
    return texture && texture->bitmap ? (const uint32_t *)texture->bitmap->pixels : nullptr;
}

// Every pixel of the frame comes from the tables and the texture.
void simpletunnel_carry(const EffectContext *, CarryMap *map, float)
{
    if (simpletunnel_table(simpletunnel_perspective.value > 0.0f) && chosenTexels())
        carryChange(map, CARRY_SCRATCH2, 0);
}

void simpletunnel_render(const EffectContext *, uint32_t *pixels, float)
{
    const int perspective = simpletunnel_perspective.value > 0.0f;
    TunnelFrame frame;
    frame.table = simpletunnel_table(perspective);
    frame.texels = chosenTexels();
    if (!pixels || !frame.table || !frame.texels)
        return; // before the setup, or a slot whose memory could not be had

    const uint16_t shift = (uint16_t)(truncInt(simpletunnel_shift.value) & 0xFFFF);
    uint8_t rotation[256];
    simpletunnel_rings(rotation, simpletunnel_angle.value, simpletunnel_split_period.value, perspective);
    for (int d = 0; d < 256; d++)
        frame.ringBase[d] = (uint16_t)(rotation[d] << 8 | shift);

    const float *c = simpletunnel_color.vec;
    frame.multipliers = multiplier(c[3], 250.0f) << 24 | multiplier(c[0], 255.0f) << 16 |
                        multiplier(c[1], 255.0f) << 8 | multiplier(c[2], 255.0f);
    SSE2_OR_REF(tunnelDrawSSE2, tunnelDrawRef)(&frame, pixels);
}
