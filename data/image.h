// Pictures: PNG files decoded through the data layer into BITMAP_RGB32
// textures, the row conversion they need, and the two whole-picture
// operations applied after loading (box blur, dimming).
#pragma once

#include <cstddef>
#include <cstdint>

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

// ---------------------------------------------------------------------------
// Pictures read again while the show runs (the edit mode's hot reload)
// ---------------------------------------------------------------------------
// A whole PNG file in memory decoded as txtLoadPNG decodes an asset, without
// a message: null for anything that is not (yet) a complete picture.
Texture *imgDecodePNG(const uint8_t *bytes, size_t size);

// What an owner does to a picture after loading it (a blur, a dimming).
typedef void (*ImgFinish)(Texture *texture);
// Owners that draw from a loaded picture for the whole run name it here, with
// their finishing step (or null); imgForget before freeing it.
void imgKeep(const char *name, Texture *texture, ImgFinish finish);
void imgForget(const Texture *texture);
// The names of the kept pictures, each once; returns how many there are
// (names takes at most max of them).
int imgKeptNames(const char **names, int max);

enum {
    IMG_RELOAD_TAKEN = 1,      // every owner now draws the new picture
    IMG_RELOAD_INCOMPLETE = 0, // missing, unreadable or not a whole PNG yet: nothing changed
    IMG_RELOAD_REFUSED = -1,   // a picture of another size: nothing changed, why says so
};
// Reads the named picture again and copies it, finished again by each owner,
// into every kept texture of that name, but only when it decodes and has
// their size.
int imgReloadKept(const char *name, char *why, size_t whySize);
// Pictures replaced so far: whoever keeps something made from a picture
// (a blend of two) makes it again when this moves.
extern uint32_t imgReloads;
