// Pictures: the PNG decoder driver over the data layer's streams, the RGBA row
// conversion, and the box blur and dimming applied to loaded pictures.
#include "data/image.h"

#include <png.h>

#include <csetjmp> // Required for: setjmp() on libpng's jump buffer
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h> // Required for: strcasecmp()
#include <vector>

#include "data/data.h"
#include "core/common.h"
#include "core/startup.h"

enum {
    PNG_SIGNATURE_BYTES = 8,
    BLUR_STRIP_COLUMNS = 32, // the vertical blur pass walks the picture in strips this wide
};

// How a decode ended.
enum { PNG_DECODED, PNG_FAILED, PNG_TOO_LARGE, PNG_NO_MEMORY };

// The loader's messages keep the tags logs have always shown for them,
// whatever the layout of this file.
enum {
    LOAD_NO_NAME_LINE = 117,
    LOAD_NOT_OPENED_LINE = 123,
    LOAD_NOT_PNG_LINE = 132,
    LOAD_NO_STRUCT_LINE = 139,
    LOAD_NO_INFO_LINE = 145,
    LOAD_NO_END_INFO_LINE = 152,
    LOAD_DONE_LINE = 162,
    LOAD_OVERSIZED_LINE = 166,
    LOAD_NO_MEMORY_LINE = 167,
    LOAD_FAILED_LINE = 169,
    CONVERT_FORMAT_LINE = 197,
};

// Everything the failure paths release. It lives in txtLoadPNG's frame, outside
// the function that arms libpng's longjmp, so after a jump back every field
// still holds the last value stored into it.
struct PngLoad {
    DataFile *file;       // the asset stream; null when the bytes below are decoded
    const uint8_t *bytes; // a whole file in memory (a picture read again while the show runs)
    size_t size;
    size_t at;            // next unread byte of bytes
    png_structp png;
    png_infop info;
    png_infop endInfo;
    Texture *texture;
    uint32_t width;       // as the header gives it, for the message of a picture refused for its size
    uint32_t height;
};

// ---------------------------------------------------------------------------
// PNG decoding
// ---------------------------------------------------------------------------

// libpng's read callback: the next bytes of the asset stream, or of the file
// in memory.
static void pngReadData(png_structp png, png_bytep out, size_t length)
{
    PngLoad *load = (PngLoad *)png_get_io_ptr(png);
    // A short read means the file was cut off: stop the decode here instead of
    // handing libpng bytes that were never read.
    if (!load->file) {
        if (length > load->size - load->at)
            png_error(png, "Read past the end of the file");
        memcpy(out, load->bytes + load->at, length);
        load->at += length;
        return;
    }
    if (length > (size_t)INT32_MAX || dataFileRead(load->file, out, (int32_t)length) != (int32_t)length)
        png_error(png, "Read past the end of the file");
}

// Asks libpng for 8-bit RGBA rows whatever the file holds: palettes and grey
// become RGB, low bit depths are widened and 16-bit samples keep their high
// byte, tRNS transparency becomes an alpha channel, and pictures without alpha
// get 0xFF in the fourth byte.
static void pngRequestRGBA8(png_structp png, png_infop info, int bitDepth, int colorType)
{
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (bitDepth == 16)
        png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
}

// Reads the stream that load->file is positioned in, just past the signature,
// into a new texture in load->texture.
// libpng reports every error by longjmp back into this function. Nothing here
// keeps state in locals across a jump: whatever needs freeing is in *load.
static int pngDecode(PngLoad *load)
{
    png_structp png = load->png;
    png_infop info = load->info;
    if (setjmp(png_jmpbuf(png)))
        return PNG_FAILED;

    png_set_read_fn(png, load, pngReadData);
    png_set_sig_bytes(png, PNG_SIGNATURE_BYTES);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);

    load->width = width;
    load->height = height;
    if (width > IMG_MAX_SIDE || height > IMG_MAX_SIDE || (uint64_t)width * height > IMG_MAX_PIXELS)
        return PNG_TOO_LARGE;
    load->texture = txt_CreateTexture((int)width, (int)height, BITMAP_RGB32);
    if (!load->texture || !load->texture->bitmap->pixels)
        return PNG_NO_MEMORY;

    pngRequestRGBA8(png, info, bitDepth, colorType);
    int passes = png_set_interlace_handling(png); // 7 for Adam7, else 1
    png_read_update_info(png, info);

    // Rows are decoded straight into the picture, whose rows have exactly the
    // size of an RGBA row, and turned into pixel words in place afterwards.
    // An interlaced picture needs the whole image at hand anyway: each pass
    // fills in its own pixels of rows that earlier passes began.
    size_t pitch = (size_t)width * 4;
    if (png_get_rowbytes(png, info) != pitch)
        png_error(png, "Unexpected row size after the RGBA transformations");
    uint8_t *pixels = (uint8_t *)load->texture->bitmap->pixels;
    for (int pass = 0; pass < passes; pass++) {
        for (png_uint_32 y = 0; y < height; y++)
            png_read_row(png, pixels + y * pitch, nullptr);
    }
    for (png_uint_32 y = 0; y < height; y++)
        imgConvert(pixels + y * pitch, pixels + y * pitch, (int)width, BITMAP_RGB32);
    return PNG_DECODED;
}

Texture *txtLoadPNG(const char *name)
{
    if (!name) {
        logTagged("txtLoadPNG", LOAD_NO_NAME_LINE, "Failed to open image file:%s", "(null)");
        return nullptr;
    }
    PngLoad load = {};
    load.file = dataFileOpen(name);
    if (!load.file) {
        logTagged("txtLoadPNG", LOAD_NOT_OPENED_LINE, "Failed to open image file:%s", name);
        return nullptr;
    }

    // A file shorter than the signature is no PNG either.
    png_byte signature[PNG_SIGNATURE_BYTES] = {};
    if (dataFileRead(load.file, signature, PNG_SIGNATURE_BYTES) != PNG_SIGNATURE_BYTES ||
        png_sig_cmp(signature, 0, PNG_SIGNATURE_BYTES) != 0) {
        dataFileClose(load.file);
        logTagged("txtLoadPNG", LOAD_NOT_PNG_LINE, "Not a png file : %s", name);
        return nullptr;
    }

    load.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!load.png) {
        dataFileClose(load.file);
        logTagged("txtLoadPNG", LOAD_NO_STRUCT_LINE, "Unable to create png struct : %s", name);
        return nullptr;
    }
    load.info = png_create_info_struct(load.png);
    if (!load.info) {
        png_destroy_read_struct(&load.png, nullptr, nullptr);
        logTagged("txtLoadPNG", LOAD_NO_INFO_LINE, "Unable to create png info : %s", name);
        dataFileClose(load.file);
        return nullptr;
    }
    load.endInfo = png_create_info_struct(load.png);
    if (!load.endInfo) {
        png_destroy_read_struct(&load.png, &load.info, nullptr);
        logTagged("txtLoadPNG", LOAD_NO_END_INFO_LINE, "Unable to create png end info : %s", name);
        dataFileClose(load.file);
        return nullptr;
    }

    int result = pngDecode(&load);
    png_destroy_read_struct(&load.png, &load.info, &load.endInfo);
    dataFileClose(load.file);
    if (result == PNG_DECODED) {
        const Bitmap *bitmap = load.texture->bitmap;
        logTagged("txtLoadPNG", LOAD_DONE_LINE, "loaded texture from %s: %d x %d", name, bitmap->width, bitmap->height);
        return load.texture;
    }
    txt_FreeTexture(load.texture);
    // Refused for its size before anything was allocated: say so, with the size.
    if (result == PNG_TOO_LARGE)
        logTagged("txtLoadPNG", LOAD_OVERSIZED_LINE,
                  "Image too large: %s is %u x %u pixels; a picture may have at most %d a side and %d in all", name,
                  (unsigned)load.width, (unsigned)load.height, (int)IMG_MAX_SIDE, (int)IMG_MAX_PIXELS);
    else if (result == PNG_NO_MEMORY)
        logTagged("txtLoadPNG", LOAD_NO_MEMORY_LINE, "Unable to allocate image_data while loading %s ", name);
    else
        logTagged("txtLoadPNG", LOAD_FAILED_LINE, "Error during setjmp : %s", name);
    return nullptr;
}

int imgIsPngName(const char *name)
{
    size_t length = name ? strlen(name) : 0;
    return length >= 4 && strcasecmp(name + length - 4, ".png") == 0;
}

Texture *imgLoad(const char *name)
{
    StartupScope phase(STARTUP_PICTURES);
    if (!imgIsPngName(name))
        return nullptr;
    Texture *texture = txtLoadPNG(name);
    if (!texture)
        printf("[FILE]: Failed using internal loader(%s). Using DataTypes.\n", name);
    return texture;
}

// ---------------------------------------------------------------------------
// Pixel conversion
// ---------------------------------------------------------------------------

void imgConvert(const void *src, void *dst, int count, int dstFormat)
{
    if (dstFormat != BITMAP_RGB32 && dstFormat != IMG_RGBA8) {
        logTagged("imgConvert", CONVERT_FORMAT_LINE, "Unsupported image format:format:0x%x , dstFormat:%0x\n", (unsigned)IMG_RGBA8,
                   (unsigned)dstFormat);
        return;
    }
    if (!src || !dst || count <= 0)
        return;
    if (dstFormat == IMG_RGBA8) {
        memmove(dst, src, (size_t)count * 4);
        return;
    }
    // Each pixel is read whole before its word is stored, so src may be dst.
    const uint8_t *in = (const uint8_t *)src;
    uint8_t *out = (uint8_t *)dst;
    for (int i = 0; i < count; i++, in += 4, out += 4) {
        uint32_t word = (uint32_t)in[3] << 24 | (uint32_t)in[0] << 16 | (uint32_t)in[1] << 8 | in[2];
        memcpy(out, &word, sizeof word);
    }
}

// ---------------------------------------------------------------------------
// Whole-picture operations
// ---------------------------------------------------------------------------

// Per-channel mean of n pixels (1 or 2; q is 0 when n is 1), rounded down,
// with the fourth byte made opaque.
static uint32_t boxMean(uint32_t p, uint32_t q, uint32_t n)
{
    uint32_t scale = 65536 / n; // 1 / n in 16.16
    uint32_t r = (((p >> 16 & 0xFF) + (q >> 16 & 0xFF)) * scale) >> 16;
    uint32_t g = (((p >> 8 & 0xFF) + (q >> 8 & 0xFF)) * scale) >> 16;
    uint32_t b = (((p & 0xFF) + (q & 0xFF)) * scale) >> 16;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

int imgBoxBlur(Texture *texture)
{
    if (!texture || !texture->bitmap || !texture->bitmap->pixels || texture->bitmap->format != BITMAP_RGB32)
        return 0;
    const int width = texture->bitmap->width;
    const int height = texture->bitmap->height;
    Texture *scratch = txt_CreateTexture(width, height, BITMAP_RGB32);
    if (!scratch || !scratch->bitmap->pixels) {
        txt_FreeTexture(scratch);
        return 0;
    }
    uint32_t *picture = (uint32_t *)texture->bitmap->pixels;
    uint32_t *temp = (uint32_t *)scratch->bitmap->pixels;

    // Each pixel with its right-hand neighbour.
    for (int y = 0; y < height; y++) {
        const uint32_t *in = picture + (size_t)y * width;
        uint32_t *out = temp + (size_t)y * width;
        for (int x = 0; x < width - 1; x++)
            out[x] = boxMean(in[x], in[x + 1], 2);
        out[width - 1] = boxMean(in[width - 1], 0, 1);
    }

    // Each pixel with the one below, a strip of columns at a time.
    for (int x0 = 0; x0 < width; x0 += BLUR_STRIP_COLUMNS) {
        int x1 = x0 + BLUR_STRIP_COLUMNS < width ? x0 + BLUR_STRIP_COLUMNS : width;
        for (int y = 0; y < height; y++) {
            const uint32_t *in = temp + (size_t)y * width;
            uint32_t *out = picture + (size_t)y * width;
            if (y + 1 < height) {
                for (int x = x0; x < x1; x++)
                    out[x] = boxMean(in[x], in[x + width], 2);
            } else {
                for (int x = x0; x < x1; x++)
                    out[x] = boxMean(in[x], 0, 1);
            }
        }
    }
    txt_FreeTexture(scratch);
    return 1;
}

void imgDim(const Texture *src, Texture *dst)
{
    if (!src || !dst || !src->bitmap || !dst->bitmap)
        return;
    const Bitmap *from = src->bitmap;
    Bitmap *to = dst->bitmap;
    if (!from->pixels || !to->pixels || from->width != to->width || from->height != to->height ||
        from->format != to->format || from->width <= 0 || from->height <= 0)
        return;
    size_t bytesPerPixel = from->format == BITMAP_GRAY8 ? 1 : 4;
    size_t bytes = (size_t)from->width * (size_t)from->height * bytesPerPixel;
    const uint8_t *in = (const uint8_t *)from->pixels;
    uint8_t *out = (uint8_t *)to->pixels;
    for (size_t i = 0; i < bytes; i++)
        out[i] = (uint8_t)(in[i] * 179 >> 8); // 179 / 256: about 70 %
}

// ---------------------------------------------------------------------------
// Pictures read again while the show runs
// ---------------------------------------------------------------------------

// A file caught while it is being written is no error worth a word: libpng's
// complaints go nowhere and the decode just fails.
static void pngQuietError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

static void pngQuietWarning(png_structp, png_const_charp) {}

Texture *imgDecodePNG(const uint8_t *bytes, size_t size)
{
    if (!bytes || size < PNG_SIGNATURE_BYTES || png_sig_cmp(bytes, 0, PNG_SIGNATURE_BYTES) != 0)
        return nullptr;
    PngLoad load = {};
    load.bytes = bytes;
    load.size = size;
    load.at = PNG_SIGNATURE_BYTES;
    load.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngQuietError, pngQuietWarning);
    if (!load.png)
        return nullptr;
    load.info = png_create_info_struct(load.png);
    load.endInfo = load.info ? png_create_info_struct(load.png) : nullptr;
    int result = load.endInfo ? pngDecode(&load) : PNG_FAILED;
    png_destroy_read_struct(&load.png, load.info ? &load.info : nullptr, load.endInfo ? &load.endInfo : nullptr);
    if (result == PNG_DECODED)
        return load.texture;
    txt_FreeTexture(load.texture);
    return nullptr;
}

uint32_t imgReloads;

// A kept picture: the texture its owner draws from, and what the owner did to
// it after loading, done again to every new version.
struct KeptPicture {
    std::string name;
    Texture *texture;
    ImgFinish finish;
};
static std::vector<KeptPicture> keptPictures;

void imgKeep(const char *name, Texture *texture, ImgFinish finish)
{
    if (!name || !texture || !texture->bitmap || !texture->bitmap->pixels || texture->bitmap->format != BITMAP_RGB32)
        return;
    keptPictures.push_back({name, texture, finish});
}

void imgForget(const Texture *texture)
{
    keptPictures.erase(std::remove_if(keptPictures.begin(), keptPictures.end(),
                                      [&](const KeptPicture &kept) { return kept.texture == texture; }),
                       keptPictures.end());
}

int imgKeptNames(const char **names, int max)
{
    int count = 0;
    for (size_t i = 0; i < keptPictures.size(); i++) {
        bool seen = false;
        for (size_t j = 0; j < i && !seen; j++)
            seen = keptPictures[j].name == keptPictures[i].name;
        if (seen)
            continue;
        if (count < max)
            names[count] = keptPictures[i].name.c_str();
        count++;
    }
    return count;
}

int imgReloadKept(const char *name, char *why, size_t whySize)
{
    if (why && whySize)
        why[0] = '\0';
    int32_t size = 0;
    uint8_t *bytes = dataLoadFile(name, &size);
    Texture *fresh = imgDecodePNG(bytes, bytes ? (size_t)size : 0);
    free(bytes);
    if (!fresh)
        return IMG_RELOAD_INCOMPLETE;
    const Bitmap *now = fresh->bitmap;
    int taken = 0;
    for (KeptPicture &kept : keptPictures) {
        if (kept.name != name)
            continue;
        Bitmap *old = kept.texture->bitmap;
        if (now->width != old->width || now->height != old->height) {
            if (why)
                snprintf(why, whySize, "%s is %d x %d; the show needs %d x %d: the old picture stays", name,
                         now->width, now->height, old->width, old->height);
            txt_FreeTexture(fresh);
            return IMG_RELOAD_REFUSED;
        }
    }
    // Every owner of the name gets the picture as it had it after loading.
    for (KeptPicture &kept : keptPictures) {
        if (kept.name != name)
            continue;
        Bitmap *old = kept.texture->bitmap;
        memcpy(old->pixels, now->pixels, (size_t)now->width * (size_t)now->height * 4);
        if (kept.finish)
            kept.finish(kept.texture);
        taken++;
    }
    txt_FreeTexture(fresh);
    if (taken)
        imgReloads++;
    return taken ? IMG_RELOAD_TAKEN : IMG_RELOAD_INCOMPLETE;
}
