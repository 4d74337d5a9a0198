// The post chain: passes over the picture after the effects have drawn it.
#pragma once

#include <cstdint>

enum { ABERRATION_MASK_ROWS = 240, ABERRATION_MASK_PAIRS = 160 };

// One weight per pair of frame pixels: 0 at the centre, growing with the cube
// of the distance, 255 from 160 pixels out.
extern uint8_t aberrationMask[ABERRATION_MASK_ROWS][ABERRATION_MASK_PAIRS];

void aberrationMaskBuild(void); // needs sqrt_table

// Scales every byte of the picture (320 x 180, all four bytes) by level / 256
// below 255, or adds level & 255 with saturation above it; 255 changes nothing.
void postBrightness(uint32_t *picture, int32_t level);
