// Post-processing passes over the picture.
#include "post/post.h"

#include "host/tables.h"
#include "render/bitmap.h"

uint8_t aberrationMask[ABERRATION_MASK_ROWS][ABERRATION_MASK_PAIRS];

void aberrationMaskBuild(void)
{
    for (int r = 0; r < ABERRATION_MASK_ROWS; r++) {
        for (int c = 0; c < ABERRATION_MASK_PAIRS; c++) {
            // Distance of the pair's odd pixel from the frame centre (160, 120),
            // through the table root, as every mask user expects.
            int x = 2 * c + 1 - 160;
            int y = r - 120;
            int q = x * x + y * y;
            double dist = q == 0 ? 0.0 : fastSqrt((double)q);
            int n = (int)dist;
            double s = n * 0.00625;
            double weight = s * s * s * 255.0;
            aberrationMask[r][c] = weight >= 255.0 ? 255 : (uint8_t)weight;
        }
    }
}

void postBrightness(uint32_t *picture, int32_t level)
{
    if (level == 255)
        return;
    uint8_t *bytes = (uint8_t *)picture;
    const int count = FRAME_WIDTH * PICTURE_ROWS * 4;
    if (level < 255) {
        int64_t s = level >> 1; // 7 fraction bits; wide for levels no track should give
        for (int i = 0; i < count; i++) {
            int64_t v = (bytes[i] * s) >> 7;
            bytes[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    } else {
        int32_t add = level & 255;
        for (int i = 0; i < count; i++) {
            int32_t v = bytes[i] + add;
            bytes[i] = (uint8_t)(v > 255 ? 255 : v);
        }
    }
}
