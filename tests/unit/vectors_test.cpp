// cross and normalize: orientation, exact rounding and the zero guard.
#include "plotcore.h"
#include "test_floats.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Cross, IsRightHandedAndAntisymmetric)
{
    const Float3 x = {1, 0, 0}, y = {0, 1, 0}, z = {0, 0, 1};
    const Float3 xy = cross(x, y), yz = cross(y, z), zx = cross(z, x), yx = cross(y, x);
    EXPECT_EQ(xy.z, 1.0f);
    EXPECT_EQ(yz.x, 1.0f);
    EXPECT_EQ(zx.y, 1.0f);
    EXPECT_EQ(yx.z, -1.0f);

    const Float3 a = {1.5f, -2.25f, 0.5f}, b = {-3.0f, 0.75f, 4.0f};
    const Float3 ab = cross(a, b);
    EXPECT_EQ(ab.x, -2.25f * 4.0f - 0.5f * 0.75f);
    EXPECT_EQ(ab.y, 0.5f * -3.0f - 1.5f * 4.0f);
    EXPECT_EQ(ab.z, 1.5f * 0.75f - -2.25f * -3.0f);
}

TEST(Cross, RoundsEachProductToFloat)
{
    // 1 + 2^-12 squared is 1 + 2^-11 + 2^-24; in float the last term is
    // lost before the subtraction, so the difference below is exactly
    // 2^-11 - 2^-11 = 0.  Fused or wider arithmetic would leave 2^-24.
    // The x86-64 baseline has no fused multiply-add, so this guards the
    // build flags on machines that do (or a -march that enables it).
    const float t = 1.0f + std::ldexp(1.0f, -12);
    const float u = 1.0f + std::ldexp(1.0f, -11);
    const Float3 a = {t, 0, 1}, b = {0, t, u};
    EXPECT_EQ(cross(a, b).z, t * t - 0.0f * 0.0f);
    EXPECT_EQ(cross({t, 1, 0}, {u, t, 0}).z, 0.0f);
}

TEST(Normalize, GivesUnitVectorsInTheSameDirection)
{
    const Float3 n = normalize({3.0f, 0.0f, 4.0f});
    EXPECT_EQ(n.x, 0.6f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_EQ(n.z, 0.8f);

    const Float3 m = normalize({-0.12f, 0.05f, 0.119f});
    const double length = std::sqrt(double(m.x) * m.x + double(m.y) * m.y + double(m.z) * m.z);
    EXPECT_NEAR(length, 1.0, 3e-7);
    EXPECT_LT(m.x, 0.0f);
    EXPECT_GT(m.y, 0.0f);
}

TEST(Normalize, LeavesZeroAndTinyVectorsAlone)
{
    const Float3 zero = normalize({0.0f, 0.0f, 0.0f});
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    EXPECT_FALSE(std::isnan(zero.x) || std::isnan(zero.y) || std::isnan(zero.z));

    // Length 5e-7, below the 1e-6 guard: returned as it came.
    const Float3 tiny = normalize({3e-7f, 0.0f, 4e-7f});
    EXPECT_EQ(tiny.x, 3e-7f);
    EXPECT_EQ(tiny.z, 4e-7f);

    // Length 2e-6, above the guard: normalised.
    const Float3 small = normalize({0.0f, 2e-6f, 0.0f});
    EXPECT_EQ(small.y, 1.0f);
}
