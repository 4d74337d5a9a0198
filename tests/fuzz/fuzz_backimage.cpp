// Image-layer list files of arbitrary bytes, read from a memory pack that
// also holds three small pictures, and every listed picture then drawn in
// every mode at positions from the input into a picture with no guard rows.
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/pngwrite.h"
#include "fuzzutil.h"
#include "fx/backimage.h"
#include "fx/fx.h"
#include "render/bitmap.h"

// a.png 40 x 3, b.png 1 x 1, c.png 330 x 1: wider than the frame.
static std::vector<uint8_t> pictures[3];

static std::vector<uint8_t> encodePicture(const char *name, int width, int height)
{
    std::vector<uint32_t> pixels((size_t)width * height);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = 0x80000000u | (uint32_t)(i * 2654435761u >> 8);
    std::string path = fuzzScratch() + name;
    if (!pngWriteFile(path.c_str(), pixels.data(), width, height, width, 1))
        abort();
    FILE *file = fopen(path.c_str(), "rb");
    std::vector<uint8_t> bytes(1 << 16);
    bytes.resize(fread(bytes.data(), 1, bytes.size(), file));
    fclose(file);
    return bytes;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzInit(false);
    if (pictures[0].empty()) {
        pictures[0] = encodePicture("a.png", 40, 3);
        pictures[1] = encodePicture("b.png", 1, 1);
        pictures[2] = encodePicture("c.png", 330, 1);
    }
    const FuzzEntry entries[] = {{"backgrounds/morla/list.txt", data, size},
                                 {"a.png", pictures[0].data(), pictures[0].size()},
                                 {"b.png", pictures[1].data(), pictures[1].size()},
                                 {"c.png", pictures[2].data(), pictures[2].size()}};
    if (!fuzzOpenPack(entries, 4))
        abort();
    backimage_load();
    fuzzClosePacks();

    static std::vector<uint32_t> frame(FRAME_WIDTH * FRAME_HEIGHT);
    const ImageList *list = backimageList();
    if (list->count > list->capacity)
        abort();
    std::mt19937 random((uint32_t)fuzzHash(data, size));
    for (int32_t i = 0; i < list->count; i++) {
        if (!list->entries[i])
            continue;
        backimage_texture_idx.value = (float)i + 0.5f;
        backimage_x.value = (float)((int)(random() % 801) - 400);
        backimage_y.value = (float)((int)(random() % 401) - 200);
        backimage_factor.value = (float)(random() % 300) / 256.0f;
        for (int mode = 0; mode < 5; mode++) {
            backimage_mode_back.value = backimage_mode_front.value = (float)mode;
            backimage_draw(frame.data(), mode & 1);
        }
    }
    return 0;
}
