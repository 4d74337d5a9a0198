// Gradient noise: its shape anywhere a track could send it.
#include "testutil.h"

#include "fx/noise.h"

// The exact field is pinned by the curl table's golden hash, built from it at start-up.
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
