// The engine's own trigonometry and powers: the same bits whatever the C
// library and whatever the platform, and still the values the C library gives
// to within its own rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/mathfn.h"
#include "fx/fxtables.h"

namespace {

uint64_t bits(double x)
{
    uint64_t u;
    memcpy(&u, &x, sizeof u);
    return u;
}

// Distance in units of the last place (finite values of one sign).
int64_t ulps(double a, double b)
{
    int64_t x = (int64_t)bits(a), y = (int64_t)bits(b);
    if ((x < 0) != (y < 0))
        return a == b ? 0 : INT64_MAX;
    return x > y ? x - y : y - x;
}

int64_t ulps(float a, float b)
{
    int32_t x, y;
    memcpy(&x, &a, 4), memcpy(&y, &b, 4);
    if ((x < 0) != (y < 0))
        return a == b ? 0 : INT64_MAX;
    return x > y ? (int64_t)x - y : (int64_t)y - x;
}

} // namespace

// Pinned bit for bit. A build that fused multiplies into adds, allowed fast
// maths, or reached the C library's functions instead would move some of
// them: the single-precision pair is pinned at arguments where a fused build
// (which the usual Linux C library is, on processors that have the
// instruction) gives the neighbouring float.
TEST(PortableMaths, PinnedResults)
{
    EXPECT_EQ(bits(mth_sin(1e-3)), bits(0x1.0624da5218a62p-10));
    EXPECT_EQ(bits(mth_sin(100.0)), bits(-0x1.03425b78c4db8p-1));
    EXPECT_EQ(bits(mth_sin(1e6)), bits(-0x1.6664b2568d867p-2)); // the long argument reduction
    EXPECT_EQ(bits(mth_cos(2.5)), bits(-0x1.9a2f7ef858b7dp-1));
    EXPECT_EQ(bits(mth_cos(-7.1)), bits(0x1.5e7ce691ea546p-1));
    EXPECT_EQ(bits(mth_atan2(3.0, -4.0)), bits(0x1.3fc176b7a856p+1));
    EXPECT_EQ(bits(mth_atan2(-1.0, -1e-300)), bits(-0x1.921fb54442d18p+0));
    EXPECT_EQ(bits(mth_pow(0.3, 2.0)), bits(0x1.70a3d70a3d70ap-4));
    EXPECT_EQ(bits(mth_pow(0.5, 1.7)), bits(0x1.3b2c47bff8329p-2));
    EXPECT_EQ(mth_sinf(0x1.ab6152p+5f), -0x1.fa115p-7f);
    EXPECT_EQ(mth_cosf(0x1.1475b6p+4f), -0x1.69eedep-16f);
}

// Sweeps over the ranges the effects use and beyond: never more than one unit
// in the last place from the C library, and the special cases as it has them.
TEST(PortableMaths, AgreesWithTheCLibraryToTheLastPlace)
{
    uint64_t state = 0x9E3779B97F4A7C15u;
    auto unit = [&] {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return (double)(state >> 11) * 0x1p-53;
    };
    int64_t worst[6] = {};
    for (int i = 0; i < 200000; i++) {
        const double x = (unit() * 2.0 - 1.0) * (i % 10 == 0 ? 1e7 : 400.0);
        worst[0] = std::max(worst[0], ulps(mth_sin(x), std::sin(x)));
        worst[1] = std::max(worst[1], ulps(mth_cos(x), std::cos(x)));
        const float f = (float)x;
        worst[2] = std::max(worst[2], ulps(mth_sinf(f), std::sin(f)));
        worst[3] = std::max(worst[3], ulps(mth_cosf(f), std::cos(f)));
        const double y = (unit() * 2.0 - 1.0) * 300.0;
        worst[4] = std::max(worst[4], ulps(mth_atan2(y, x), std::atan2(y, x)));
        const double base = unit(), exponent = i % 2 ? 2.0 : unit() * 8.0;
        worst[5] = std::max(worst[5], ulps(mth_pow(base, exponent), std::pow(base, exponent)));
    }
    const char *names[6] = {"sin", "cos", "sinf", "cosf", "atan2", "pow"};
    for (int k = 0; k < 6; k++)
        EXPECT_LE(worst[k], 1) << names[k];

    EXPECT_EQ(bits(mth_sin(-0.0)), bits(-0.0));
    EXPECT_TRUE(std::isnan(mth_sin(INFINITY)) && std::isnan(mth_cosf(-INFINITY)));
    EXPECT_EQ(mth_atan2(0.0, -1.0), std::atan2(0.0, -1.0));
    EXPECT_EQ(mth_pow(0.0, 2.0), 0.0);
    EXPECT_EQ(mth_pow(1.0, 1e300), 1.0);
    EXPECT_EQ(mth_sinf(1e-30f), 1e-30f);
}

// The sine table is built in double precision; every entry is the float that
// the sine taken in extended precision rounds to.
TEST(PortableMaths, SineTableMatchesTheExtendedPrecisionSine)
{
    sinTableBuild();
    const long double step = 0.0015339807878856412; // the double nearest 2pi/4096
    int differ = 0;
    for (int i = 0; i < SIN_TABLE_SIZE; i++)
        differ += sin_table[i] != (float)sinl((long double)i * step);
    EXPECT_EQ(differ, 0);
}
