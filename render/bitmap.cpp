// Texture records and their pixel memory.
#include "render/bitmap.h"

#include <climits>
#include <cstdlib>

Texture *txt_CreateTexture(int width, int height, int format)
{
    if (width < 0 || height < 0)
        return nullptr;
    Texture *texture = (Texture *)calloc(1, sizeof(Texture));
    Bitmap *bitmap = (Bitmap *)calloc(1, sizeof(Bitmap));
    if (!texture || !bitmap) {
        free(texture);
        free(bitmap);
        return nullptr;
    }
    texture->bitmap = bitmap;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->format = format;

    size_t bytesPerPixel = format == BITMAP_RGB32 ? 4 : format == BITMAP_GRAY8 ? 1 : 0;
    size_t count = (size_t)width * (size_t)height;
    // Other formats get no pixel memory; an exhausted heap leaves pixels null.
    if (bytesPerPixel && count && count <= (size_t)INT_MAX / bytesPerPixel)
        bitmap->pixels = calloc(count, bytesPerPixel);
    return texture;
}

void txt_FreeTexture(Texture *texture)
{
    if (!texture)
        return;
    if (texture->bitmap) {
        free(texture->bitmap->pixels);
        free(texture->bitmap);
    }
    free(texture->extraA);
    free(texture->extraB);
    free(texture);
}
