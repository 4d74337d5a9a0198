// Writing pictures as PNG files (captures, and the production builder).
#pragma once

#include <cstdint>

// Writes width x height pixels (0xAARRGGBB, rows stride pixels apart) as an
// 8-bit RGB file, or RGBA when withAlpha is set. 1 on success; a failed file
// is removed.
int pngWriteFile(const char *path, const uint32_t *pixels, int width, int height, int stride, int withAlpha);
