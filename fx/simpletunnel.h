// The lookup-table tunnel drawn as background mode 2 into frame buffer 2:
// its variables, its coordinate tables and the pixel kernels, which the
// tests hold against each other.
#pragma once

#include <cstdint>

#include "cvar/cvar.h"

// Variables, in registration order ("simpletunnel.vars").
extern Cvar simpletunnel_texture_idx, simpletunnel_angle, simpletunnel_shift, simpletunnel_split_period,
    simpletunnel_perspective, simpletunnel_color;

enum {
    TUNNEL_SLOTS = 5,       // three pictures, the band and the block texture
    TUNNEL_TEXTURE_SIDE = 256,
    TUNNEL_TILE = 16,       // the frame is walked in 16 x 16 tiles for texel locality
};

// ---------------------------------------------------------------------------
// Coordinate tables
// ---------------------------------------------------------------------------
// 320 x 240 entries, angle byte << 8 | depth byte. Flat: depth linear in the
// radius; perspective: depth 3000 / radius. Null before the setup built them.
const uint16_t *simpletunnel_table(int perspective);

// ---------------------------------------------------------------------------
// Per-frame settings
// ---------------------------------------------------------------------------
// Rotation byte of each depth byte: one rotation for the whole tunnel, or
// with a positive period rings that turn alternately by angle and by
// 255 - angle. Rings are counted over 256 / depth with the perspective table
// and over depth / (10 * period) with the flat one.
void simpletunnel_rings(uint8_t rotation[256], float angle, float period, int perspective);

// Everything the pixel loop needs, fixed before it runs.
struct TunnelFrame {
    const uint16_t *table;   // 320 x 240 coordinate entries
    const uint32_t *texels;  // 256 x 256
    uint16_t ringBase[256];  // by depth byte: rotation byte << 8 | shift (16 bits, so shift ORs into the rotation)
    uint32_t multipliers;    // per byte of the pixel, 0..127; a texel byte b becomes (b * m) >> 7
};

// ---------------------------------------------------------------------------
// Pixel kernels (the same bits; the effect runs the SSE2 one where the build has it)
// ---------------------------------------------------------------------------
// Texel of entry e: texels[(ringBase[e & 255] + e) & 0xFFFF]: its row is the
// angle byte plus the rotation, its column the depth byte plus the shift.
void tunnelDrawRef(const TunnelFrame *frame, uint32_t *pixels);   // 320 x 240, pitch 320
void tunnelDrawSSE2(const TunnelFrame *frame, uint32_t *pixels);  // in 16 x 16 tiles, four pixels a step
