// Pixel filters for 320-pixel-wide images: recursive blurs, edges and blits.
#pragma once

#include <cstdint>

// Settings read by the blurs; one record for the whole run.
struct FilterParams {
    int32_t width;            // row stride of the blurred images, in pixels
    int32_t height;
    int32_t coefH;            // horizontal blur coefficient 0..255
    int32_t coefV;            // vertical blur coefficient 0..255
    uint32_t threshold;       // 0xAARRGGBB subtracted from each source pixel as a blur reads it
    int32_t thresholdChanged; // set whenever the glow pass changes threshold
    int32_t mask;             // 0xFFFF whenever coefficients are set
};
