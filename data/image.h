// Pictures: PNG files decoded through the data layer into BITMAP_RGB32
// textures, the row conversion they need, and the two whole-picture
// operations applied after loading (box blur, dimming).
#pragma once

#include "render/bitmap.h"

// Source format of imgConvert: a decoded PNG row, bytes R, G, B, A in memory.
// Shares the numbering of the Bitmap formats (BITMAP_RGB32 0, BITMAP_GRAY8 1).
enum { IMG_RGBA8 = 2 };

// The largest picture the loader accepts. A header asking for more is refused
// before any pixel memory is taken: a few corrupt header bytes must not turn
// into a gigantic allocation.
enum {
    IMG_MAX_SIDE = 16384,
    IMG_MAX_PIXELS = 4096 * 4096, // 64 MiB of pixels
};

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------
// A new texture holding the PNG asset as BITMAP_RGB32 (alpha 255 where the
// file has none), or null after one tagged message. Every PNG colour type and
// bit depth, interlaced or not, comes out as 8-bit RGBA.
Texture *txtLoadPNG(const char *name);
// 1 when the name ends in ".png" in any letter case.
int imgIsPngName(const char *name);
// txtLoadPNG for ".png" names (with a second message when it fails); null
// without a message for any other name. The host's logo and glitch frames and
// the image layer's list all load through here.
Texture *imgLoad(const char *name);

// ---------------------------------------------------------------------------
// Pixel conversion
// ---------------------------------------------------------------------------
// Converts count IMG_RGBA8 pixels at src to dstFormat at dst: BITMAP_RGB32
// words, or a plain copy for IMG_RGBA8. src and dst may be the same buffer.
// Other formats are reported and leave dst untouched.
void imgConvert(const void *src, void *dst, int count, int dstFormat);

// ---------------------------------------------------------------------------
// Whole-picture operations
// ---------------------------------------------------------------------------
// Smooths a BITMAP_RGB32 picture in place with a 2 x 2 box (averages rounded
// down) and makes it opaque. 0, picture untouched, for a missing or non-RGB32
// picture or when the scratch copy cannot be allocated.
int imgBoxBlur(Texture *texture);
// dst's bytes = src's bytes * 179 >> 8, all four bytes of every pixel. Nothing
// happens unless both pictures exist with the same size and format.
void imgDim(const Texture *src, Texture *dst);
