// Gradient noise in fixed point: lattice cells of 1024 steps, 16.16 gradients.
#include "fx/noise.h"

#include "core/common.h"

uint8_t noisePerm[257];
int32_t noiseGradX[256];
int32_t noiseGradY[256];
int32_t noiseGradZ[256];
int32_t noiseFade[NOISE_FADE_SIZE];

void noise_init(void)
{
    // The effects rely on these exact draws: nothing draws before them.
    vt::srand(0xFFFFFFFFu);
    for (int i = 0; i < 256; i++)
        noisePerm[i] = (uint8_t)i;
    for (int i = 0; i < 256; i++) {
        int j = vt::rand() & 255;
        uint8_t t = noisePerm[i];
        noisePerm[i] = noisePerm[j];
        noisePerm[j] = t;
    }
    noisePerm[256] = noisePerm[0];

    for (int i = 0; i < 256; i++) {
        noiseGradX[i] = (int32_t)((vt::rand() * 6.103888e-5 - 1.0) * 65536); // 16.16 in [-1, 1)
        noiseGradY[i] = (int32_t)((vt::rand() * 6.103888e-5 - 1.0) * 65536);
        noiseGradZ[i] = (int32_t)((vt::rand() * 6.103888e-5 - 1.0) * 65536);
    }
    for (int i = 0; i < NOISE_FADE_SIZE; i++)
        noiseFade[i] = ((1536 - i) * i * i * 2) >> 20;
}

// One corner's contribution: gradient (16.16) dot offset (10 fraction bits).
static int32_t noiseCorner(int h, int32_t dx, int32_t dy, int32_t dz)
{
    return noiseGradX[h] * dx + noiseGradY[h] * dy + noiseGradZ[h] * dz;
}

// Along x the corner sums carry 26 fraction bits and the result 10; along y
// and z both sides carry 10.
static int32_t noiseLerpX(int32_t c0, int32_t c1, int32_t f)
{
    return (c0 >> 16) - ((((c0 >> 10) - (c1 >> 10)) * noiseFade[f]) >> 16);
}

static int32_t noiseLerp(int32_t a, int32_t b, int32_t f)
{
    return a - (((a - b) * noiseFade[f]) >> 10);
}

int32_t noise3(float x, float y, float z)
{
    // Cells of 1024 steps; the factor a hair above 1024 keeps integral inputs
    // from landing one step short of their lattice point.
    int32_t ix = truncInt(x * 1024.0001), iy = truncInt(y * 1024.0001), iz = truncInt(z * 1024.0001);
    int32_t fx = ix & 1023, fy = iy & 1023, fz = iz & 1023;
    int X = (ix >> 10) & 255, Y = (iy >> 10) & 255, Z = (iz >> 10) & 255;

    int A = (noisePerm[X] + Y) & 255, AA = (noisePerm[A] + Z) & 255, AB = (noisePerm[A + 1] + Z) & 255;
    int B = (noisePerm[X + 1] + Y) & 255, BA = (noisePerm[B] + Z) & 255, BB = (noisePerm[B + 1] + Z) & 255;
    int32_t gx = fx - 1023, gy = fy - 1023, gz = fz - 1023; // offsets from the far corners

    int32_t x00 = noiseLerpX(noiseCorner(noisePerm[AA], fx, fy, fz), noiseCorner(noisePerm[BA], gx, fy, fz), fx);
    int32_t x10 = noiseLerpX(noiseCorner(noisePerm[AB], fx, gy, fz), noiseCorner(noisePerm[BB], gx, gy, fz), fx);
    int32_t x01 = noiseLerpX(noiseCorner(noisePerm[AA + 1], fx, fy, gz), noiseCorner(noisePerm[BA + 1], gx, fy, gz), fx);
    int32_t x11 = noiseLerpX(noiseCorner(noisePerm[AB + 1], fx, gy, gz), noiseCorner(noisePerm[BB + 1], gx, gy, gz), fx);
    return noiseLerp(noiseLerp(x00, x10, fy), noiseLerp(x01, x11, fy), fz);
}
