// The image layer: numbered pictures from a list file, placed into the shown
// band of frame buffer 0 with one of five blits. The host calls
// backimage_load and backimage_draw (fx/fx.h); the rest is for the tests.
#pragma once

#include <cstdint>

struct Texture;

enum {
    IMAGE_LIST_GROWTH = 11,      // spare entries each time the list grows
    IMAGE_LIST_MAX_INDEX = 4095, // higher list indices are refused as bad lines
    IMAGE_LIST_LINE_MAX = 255,   // characters of a list line; longer lines go on as the next
};

// Entries never set stay null.
struct ImageList {
    int32_t capacity;  // entries allocated
    Texture **entries;
    int32_t count;     // one past the highest index set
};

// ---------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------
// Reads the list file name into an empty list; bad lines and missing pictures
// are reported and skipped. 0, after its message, when the file cannot be opened.
int backimageReadList(ImageList *list, const char *name);
// Index 0..IMAGE_LIST_MAX_INDEX; replaces (and frees) an earlier picture. 0
// when the index is out of range or the list cannot grow.
int backimageSetEntry(ImageList *list, int32_t index, Texture *texture);
void backimageFreeList(ImageList *list); // pictures included; leaves the list empty
const ImageList *backimageList(void);    // the list backimage_load read

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------
// Picture floor(backimage_texture_idx) of list at (backimage_x, backimage_y)
// of the band, blended by backimage_mode_back (front 0) or
// backimage_mode_front (any other front) with backimage_factor. An index
// without a picture, or a mode outside 0..4, draws nothing.
void backimageDrawList(const ImageList *list, uint32_t *pixels, int front);
