// The image layer: numbered pictures from a list file, placed into the shown
// band of frame buffer 0 with one of five blits. The host calls
// backimage_setup and backimage_draw (fx/fx.h): backimage_draw places picture
// floor(backimage_texture_idx) at (backimage_x, backimage_y) of the band,
// blended by backimage_mode_back (front 0) or backimage_mode_front (any other
// front) with backimage_factor; an index without a picture, or a mode outside
// 0..4, draws nothing.
#pragma once

#include <cstdint>

#include "cvar/cvar.h"

struct Texture;

// Registered by backimage_setup in this order, read from "backimage.vars".
extern Cvar backimage_texture_idx, backimage_x, backimage_y, backimage_mode_back, backimage_mode_front,
    backimage_factor;

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

// Reads the list file "backgrounds/morla/list.txt" and its pictures again;
// without the list file the program ends (exit code 10).
void backimage_load(void);
// The list backimage_load read: bad lines and missing pictures were reported
// and skipped; a picture that did not decode holds its index as null.
const ImageList *backimageList(void);
