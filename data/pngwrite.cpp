// PNG writing through libpng.
#include "data/pngwrite.h"

#include <png.h>

#include <cstdio>
#include <vector>

int pngWriteFile(const char *path, const uint32_t *pixels, int width, int height, int stride, int withAlpha)
{
    if (width <= 0 || height <= 0 || stride < width)
        return 0;
    FILE *file = fopen(path, "wb");
    if (!file)
        return 0;
    const int channels = withAlpha ? 4 : 3;
    std::vector<png_byte> row((size_t)width * channels);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        remove(path);
        return 0;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8,
                 withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
        const uint32_t *src = pixels + (size_t)y * stride;
        png_byte *out = row.data();
        for (int x = 0; x < width; x++) {
            uint32_t p = src[x];
            *out++ = (png_byte)(p >> 16); // red
            *out++ = (png_byte)(p >> 8);  // green
            *out++ = (png_byte)p;         // blue
            if (withAlpha)
                *out++ = (png_byte)(p >> 24);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (fclose(file) != 0) {
        remove(path);
        return 0;
    }
    return 1;
}
