// Gradient noise: the exact tables the effects depend on, and its shape
// anywhere a track could send it.
#include "testutil.h"

#include "core/common.h"
#include "fx/noise.h"

// A few values worked out independently from the generator and the noise
// formulas: what the curl table's golden hash, built from the whole field,
// cannot say when it fails.
TEST(Noise, TablesAndValuesFollowTheSeededGenerator)
{
    noise_init();
    EXPECT_EQ((std::vector<int>{noisePerm[0], noisePerm[3], noisePerm[256]}), (std::vector<int>{35, 91, 35}));
    EXPECT_EQ(std::set<int>(noisePerm, noisePerm + 256).size(), 256u) << "a permutation: every byte once";
    EXPECT_EQ(noiseGradX[0], 34762);
    EXPECT_EQ(noiseFade[512], 512);
    EXPECT_EQ(noise3(0.5f, 0.5f, 0.5f), 75);
    EXPECT_EQ(noise3(10.1f, -3.3f, 7.7f), -365);
    // Reinitialising gives the same field whatever was drawn in between.
    vt::rand();
    const int32_t before = noise3(3.7f, -1.2f, 0.9f);
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
