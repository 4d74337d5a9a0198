// Post-processing passes over the picture.
#include "post/post.h"

#include "host/tables.h"

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
