// Fixed-point gradient noise shared by the effects that move with it.
#pragma once

#include <cstdint>

enum { NOISE_FADE_SIZE = 1024 };

// Built by noise_init from the demo's generator, reseeded with all bits set.
extern uint8_t noisePerm[257];      // a permutation of 0..255, entry 256 = entry 0
extern int32_t noiseGradX[256];     // gradient components, 16.16 in [-1, 1)
extern int32_t noiseGradY[256];
extern int32_t noiseGradZ[256];
extern int32_t noiseFade[NOISE_FADE_SIZE]; // 1024 * (3s^2 - 2s^3) at s = i / 1024

void noise_init(void);
// Noise at a point: about +-1024 per unit of noise, 0 on every lattice point.
int32_t noise3(float x, float y, float z);
