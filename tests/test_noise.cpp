// Gradient noise: the exact tables the effects depend on, and its shape.
#include "testutil.h"

#include "fx/noise.h"
#include "host/common.h"

// Values worked out independently from the generator and the noise formulas.
TEST(Noise, TablesAndValuesFollowTheSeededGenerator)
{
    noise_init();
    EXPECT_EQ(noisePerm[0], 35);
    EXPECT_EQ(noisePerm[1], 43);
    EXPECT_EQ(noisePerm[2], 57);
    EXPECT_EQ(noisePerm[3], 91);
    EXPECT_EQ(noisePerm[256], noisePerm[0]);
    EXPECT_EQ(noiseGradX[0], 34762);
    EXPECT_EQ(noiseGradY[0], 27669);
    EXPECT_EQ(noiseGradZ[0], 3932);
    EXPECT_EQ(noiseGradX[255], 63163);
    EXPECT_EQ(noiseFade[0], 0);
    EXPECT_EQ(noiseFade[512], 512);
    EXPECT_EQ(noiseFade[1023], 1023);

    struct Case {
        float x, y, z;
        int32_t value;
    } cases[] = {{0.5f, 0.5f, 0.5f, 75}, {1.25f, 2.5f, -0.75f, -69}, {10.1f, -3.3f, 7.7f, -365}, {-0.3f, 0.2f, 100.9f, -141}};
    for (const Case &c : cases)
        EXPECT_EQ(noise3(c.x, c.y, c.z), c.value) << c.x << "," << c.y << "," << c.z;

    // A permutation: every byte once.
    int seen[256] = {};
    for (int i = 0; i < 256; i++)
        seen[noisePerm[i]]++;
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(seen[i], 1) << i;

    // Reinitialising gives the same field whatever was drawn in between.
    vt::rand();
    int32_t before = noise3(3.7f, -1.2f, 0.9f);
    noise_init();
    EXPECT_EQ(noise3(3.7f, -1.2f, 0.9f), before);
}

TEST(Noise, ZeroOnTheLatticeBoundedAndDefinedEverywhere)
{
    noise_init();
    for (int x = -3; x <= 3; x++) {
        for (int y = -3; y <= 3; y++)
            EXPECT_EQ(noise3((float)x, (float)y, 5.0f), 0) << x << "," << y;
    }
    srand(7);
    for (int i = 0; i < 20000; i++) {
        float x = (rand() % 20000 - 10000) / 97.0f, y = (rand() % 20000 - 10000) / 89.0f,
              z = (rand() % 20000 - 10000) / 83.0f;
        int32_t v = noise3(x, y, z);
        ASSERT_LE(abs(v), 2048) << x << "," << y << "," << z;
    }
    // Values a track could give stay defined (the sanitizer build checks).
    noise3(1e30f, -1e30f, 0.0f);
    noise3(__builtin_nanf(""), 0.0f, 0.0f);
}
