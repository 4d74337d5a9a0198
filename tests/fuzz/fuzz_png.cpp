// PNG files of arbitrary bytes, decoded from a pack entry, then blurred and
// dimmed as the effects do with their pictures.
#include <cstdlib>

#include "data/image.h"
#include "fuzzutil.h"
#include "render/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzInit(false);
    const FuzzEntry entry = {"fuzz.png", data, size};
    if (!fuzzOpenPack(&entry, 1))
        abort();
    if (Texture *texture = txtLoadPNG("fuzz.png")) {
        const Bitmap *bitmap = texture->bitmap;
        if (!bitmap || !bitmap->pixels || bitmap->width <= 0 || bitmap->height <= 0 || bitmap->format != BITMAP_RGB32)
            abort();
        // The largest pictures only cost time here.
        if ((int64_t)bitmap->width * bitmap->height <= 256 * 256) {
            imgBoxBlur(texture);
            imgDim(texture, texture);
        }
        txt_FreeTexture(texture);
    }
    fuzzClosePacks();
    return 0;
}
