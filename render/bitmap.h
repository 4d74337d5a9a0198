// Pixel arrays: the pixel format, Bitmap and the Texture holder, and the
// geometry of the frame buffers every drawing routine relies on.
#pragma once

#include <cstdint>

// Pixel layout 0xAARRGGBB: bytes in memory run blue, green, red, fourth byte.
enum {
    BITMAP_RGB32 = 0, // 4 bytes per pixel
    BITMAP_GRAY8 = 1, // 1 byte per pixel, an intensity
};

// Frame buffers: 320 x 240 pixels inside a block of 304 rows, with 32 guard
// rows above and below so that drawing that strays up to 32 rows off the
// picture still lands in owned memory.
// !!! the rasteriser and the scene renderer hard-code the 320-pixel stride !!!
enum {
    FRAME_WIDTH = 320,
    FRAME_HEIGHT = 240,
    FRAME_PITCH = FRAME_WIDTH * 4,                         // bytes per row
    FRAME_GUARD_ROWS = 32,
    FRAME_BLOCK_PIXELS = FRAME_WIDTH * (FRAME_HEIGHT + 2 * FRAME_GUARD_ROWS), // 97,280
    FRAME_GUARD_PIXELS = FRAME_WIDTH * FRAME_GUARD_ROWS,   // 10,240 (40,960 bytes)
    PICTURE_FIRST_ROW = 30,                                // the shown letterbox
    PICTURE_ROWS = 180,
    PICTURE_OFFSET_PIXELS = PICTURE_FIRST_ROW * FRAME_WIDTH, // 9,600 (38,400 bytes)
};

// The lane format of the packed per-pixel arithmetic (9.7): one signed 16-bit
// lane per colour byte, a byte b held as b << LANE_FRAC. Multiplying two
// lanes keeps the high half of the 32-bit product: hi16(d * K) with
// K = c << LANE_FRAC is floor(d * c / 512), and doubling it brings back
// d * c / 256. Adds and subtracts on lanes saturate at -32768..32767, and a
// lane becomes a byte by an arithmetic shift right of LANE_FRAC clamped to
// 0..255. The filters, the post passes, the packed Gouraud rows and the fish
// test's cross-fade all work in it.
enum { LANE_FRAC = 7 };

struct Bitmap {
    int32_t width;  // pixels per row, also the row stride
    int32_t height;
    void *pixels;   // width * height elements, owned unless a frame-buffer view
    int32_t format; // BITMAP_RGB32 or BITMAP_GRAY8
};

struct Texture {
    Bitmap *bitmap; // owned unless the texture views a frame buffer
    void *extraA;   // further owned blocks, freed with the texture
    void *extraB;
};

// Per byte a + b, each byte held at 255: how light adds up in a pixel.
inline uint32_t pixelAddSaturate(uint32_t a, uint32_t b)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = (a >> shift & 255) + (b >> shift & 255);
        out |= (sum > 255 ? 255 : sum) << shift;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Texture management
// ---------------------------------------------------------------------------
Texture *txt_CreateTexture(int width, int height, int format); // zero-filled; null on bad size
void txt_FreeTexture(Texture *texture);                        // null is ignored
