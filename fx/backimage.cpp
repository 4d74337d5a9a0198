// The image layer: reads the numbered picture list at start-up and blends
// the chosen picture into the band as background or over the finished frame.
#include "fx/backimage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/common.h"
#include "cvar/cvarfile.h"
#include "data/data.h"
#include "data/image.h"
#include "fx/fx.h"
#include "post/filter.h"
#include "render/bitmap.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const char LIST_FILE[] = "backgrounds/morla/list.txt";
static const int EXIT_MISSING_ASSET = 10;

// The layer's messages carry fixed tags, so they read the same whatever the
// layout of this file.
// The list loader's messages carry the tag "load" and these fixed lines,
// whatever the function here is called; each is followed by a newline of its own.
static const char LOG_NAME[] = "load";
enum { LOG_LINE_NO_LIST = 63, LOG_LINE_SYNTAX = 86, LOG_LINE_NO_PICTURE = 103 };

// ---------------------------------------------------------------------------
// Variables (registered after the effect setups; tracks drive every one)
// ---------------------------------------------------------------------------

Cvar backimage_texture_idx = cvarDefine("backimage_texture_idx", "0", 0, 64);
Cvar backimage_x = cvarDefine("backimage_x", "0", -1024, 1024);
Cvar backimage_y = cvarDefine("backimage_y", "0", -512, 512);
Cvar backimage_mode_back = cvarDefine("backimage_mode_back", "0", 0, 4);
Cvar backimage_mode_front = cvarDefine("backimage_mode_front", "0", 0, 4);
Cvar backimage_factor = cvarDefine("backimage_factor", "0", 0, 1);

static Cvar *const backimageVars[] = {&backimage_texture_idx, &backimage_x,          &backimage_y,
                                      &backimage_mode_back,   &backimage_mode_front, &backimage_factor};
const CvarList backimage_vars = cvarListOf(backimageVars);
const CvarList backimage_tracked = cvarListOf(backimageVars);

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

static ImageList images; // read once by backimage_load, kept for the run

// ---------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------

// Index 0..IMAGE_LIST_MAX_INDEX; 0 when it is out of range or the list cannot grow.
static int setEntry(ImageList *list, int32_t index, Texture *texture)
{
    if (index < 0 || index > IMAGE_LIST_MAX_INDEX)
        return 0;
    if (list->capacity < index + 1) {
        const int32_t capacity = index + IMAGE_LIST_GROWTH;
        Texture **entries = (Texture **)calloc((size_t)capacity, sizeof(Texture *));
        if (!entries)
            return 0;
        if (list->entries)
            memcpy(entries, list->entries, (size_t)list->capacity * sizeof(Texture *));
        free(list->entries);
        list->entries = entries;
        list->capacity = capacity;
    }
    // Nothing else holds a listed picture, so the one replaced goes.
    if (list->entries[index] != texture) {
        imgForget(list->entries[index]);
        txt_FreeTexture(list->entries[index]);
    }
    list->entries[index] = texture;
    if (index >= list->count)
        list->count = index + 1;
    return 1;
}

static void freeList(ImageList *list)
{
    for (int32_t i = 0; i < list->capacity; i++) {
        imgForget(list->entries[i]);
        txt_FreeTexture(list->entries[i]);
    }
    free(list->entries);
    *list = ImageList();
}

// One list line: "<index> <path>", the path running from after the first
// space to the end of the line. Comments start with ';'.
static void readListLine(ImageList *list, char *line)
{
    if (line[0] == ';')
        return;
    char *end;
    long index = strtol(line, &end, 10);
    if (end == line)
        index = -1; // no number
    char *space = strchr(line, ' ');
    // A negative index would land before the list, a huge one would ask for
    // gigabytes of entries: both are refused like a missing one.
    if (!space || index < 0 || index > IMAGE_LIST_MAX_INDEX) {
        logTagged(LOG_NAME, LOG_LINE_SYNTAX, "Wrong line syntax. Use <index> <path> (%s)\n", line);
        printf("\n");
        return;
    }
    char *path = space + 1;
    path[strcspn(path, "\r\n")] = '\0';
    if (dataFileSize(path) == 0) {
        logTagged(LOG_NAME, LOG_LINE_NO_PICTURE, "File <%s> not found\n", path);
        printf("\n");
        return;
    }
    // A picture that fails to decode still takes its index, as null.
    Texture *texture = imgLoad(path);
    if (setEntry(list, (int32_t)index, texture))
        imgKeep(path, texture, nullptr);
    else
        txt_FreeTexture(texture);
    printf("IMAGE:loaded <%s> at index %d\n", path, (int)index);
}

// 0, after its message, when the list file cannot be opened.
static int readList(ImageList *list, const char *name)
{
    DataFile *file = dataFileOpen(name);
    if (!file) {
        logTagged(LOG_NAME, LOG_LINE_NO_LIST, "Failed to load list file <%s>\n", name);
        printf("\n");
        return 0;
    }
    char line[IMAGE_LIST_LINE_MAX + 1];
    while (dataFileGets(file, line, IMAGE_LIST_LINE_MAX))
        readListLine(list, line);
    dataFileClose(file);
    return 1;
}

const ImageList *backimageList(void)
{
    return &images;
}

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------

void backimage_load(void)
{
    freeList(&images);
    if (!readList(&images, LIST_FILE))
        exit(EXIT_MISSING_ASSET);
}

void backimage_setup(const EffectContext *)
{
    CvarRegisterList(&backimage_vars);
    CvarAddFile("backimage.vars");
    CvarLoad();
    backimage_load();
}

// The picture the layer places now, or null.
static const Texture *chosenPicture(void)
{
    const float chosen = backimage_texture_idx.value;
    // Tracks may give anything: only an index of an entry that exists counts
    // (NaN fails both tests). Below count, truncation is the floor.
    if (!(chosen >= 0.0f && chosen < (float)images.count))
        return nullptr;
    return images.entries[truncInt(chosen)];
}

static int32_t chosenMode(int front)
{
    return truncInt((front ? backimage_mode_front : backimage_mode_back).value);
}

static int coversBack(const EffectContext *, uint32_t *frame, float)
{
    carryMarkBand(frame);
    backimage_draw(frame, 0);
    return carryBandCovered(frame);
}

static int coversFront(const EffectContext *, uint32_t *frame, float)
{
    carryMarkBand(frame);
    backimage_draw(frame, 2);
    return carryBandCovered(frame);
}

void backimage_carry(int front, CarryMap *map)
{
    if (!chosenPicture())
        return;
    int32_t mode = chosenMode(front);
    // A copy hides what lay under it where it lands; the other blits mix.
    if (mode == BLIT_COPY)
        carryCover(map, front ? coversFront : coversBack, nullptr, 0.0f);
    else if (mode > BLIT_COPY && mode <= BLIT_MINUS)
        carryChange(map, CARRY_PICTURE, CARRY_PICTURE);
}

void backimage_draw(uint32_t *pixels, int front)
{
    const Texture *texture = chosenPicture();
    if (!pixels || !texture)
        return;
    const int32_t mode = chosenMode(front);
    const int32_t factor = truncInt(backimage_factor.value * 255.0f);
    const int32_t x = truncInt(backimage_x.value), y = truncInt(backimage_y.value);
    uint32_t *band = pixels + PICTURE_OFFSET_PIXELS;
    // The blits clip against the band and the bitmap, for any position.
    switch (mode) {
    case BLIT_COPY: blitCopy(band, PICTURE_ROWS, texture->bitmap, x, y); break;
    case BLIT_ADD_MINUS: blitAddMinus(band, texture->bitmap, x, y, factor); break;
    case BLIT_SUB_PLUS: blitSubPlus(band, texture->bitmap, x, y, factor); break;
    case BLIT_ALPHA: blitAlpha(band, texture->bitmap, x, y, factor); break;
    case BLIT_MINUS: blitMinus(band, texture->bitmap, x, y, factor); break;
    default: break;
    }
}
