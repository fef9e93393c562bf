// The grid constants, the walk over the cells and the two height fields.
//
// The coordinates are exact by construction (repeated float addition of
// one constant), so they are compared bit for bit.  The heights go through
// the C library's expf, which is faithful but not correctly rounded, so
// they are compared with a tolerance.
#include "plotcore.h"
#include "test_floats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Visit {
    float x, y, x1, y1;
};

std::vector<Visit> walkGrid()
{
    std::vector<Visit> visits;
    forEachCell([&](float x, float y, float x1, float y1) {
        visits.push_back({x, y, x1, y1});
    });
    return visits;
}

// 28 cells a side, see forEachCell.
constexpr int CELLS_PER_SIDE = 28;

} // namespace

TEST(Grid, ConstantsHaveTheirExactBitPatterns)
{
    EXPECT_EQ(bitsOf(GRID_STEP), 0x3EB08D3Eu);
    EXPECT_GT(static_cast<double>(GRID_STEP), 10.0 / 29.0); // the nearest float lies above
    EXPECT_EQ(bitsOf(GRID_MAX - GRID_STEP), 0x4094F72Cu);
    EXPECT_EQ(GRID_MIN, -5.0f);
    EXPECT_EQ(GRID_MAX, 5.0f);
}

TEST(Grid, WalksTwentyEightColumnsOfTwentyEightCellsInOrder)
{
    const std::vector<Visit> visits = walkGrid();
    ASSERT_EQ(visits.size(), static_cast<size_t>(CELLS_PER_SIDE * CELLS_PER_SIDE));

    const Visit& first = visits.front();
    EXPECT_EQ(first.x, -5.0f);
    EXPECT_EQ(first.y, -5.0f);
    EXPECT_EQ(bitsOf(first.x1), 0xC094F72Cu); // -4.6551723
    EXPECT_EQ(bitsOf(first.y1), 0xC094F72Cu);

    const Visit& last = visits.back();
    EXPECT_EQ(bitsOf(last.x), 0x4089EE5Bu); // 4.3103461
    EXPECT_EQ(bitsOf(last.y), 0x4089EE5Bu);
    EXPECT_EQ(bitsOf(last.x1), 0x4094F72Fu); // 4.6551738, above 5 - h
    EXPECT_EQ(bitsOf(last.y1), 0x4094F72Fu);
    EXPECT_GT(last.x1, GRID_MAX - GRID_STEP);

    // x in the outer loop, y in the inner one: within a column x stays put
    // and y continues exactly where the previous cell's y1 ended; a new
    // column starts at the previous column's x1 and at y = -5 again.
    for (size_t i = 1; i < visits.size(); ++i) {
        const Visit& before = visits[i - 1];
        const Visit& now = visits[i];
        SCOPED_TRACE(i);
        if (i % CELLS_PER_SIDE != 0) {
            ASSERT_EQ(bitsOf(now.x), bitsOf(before.x));
            ASSERT_EQ(bitsOf(now.y), bitsOf(before.y1));
        } else {
            ASSERT_EQ(bitsOf(now.x), bitsOf(before.x1));
            ASSERT_EQ(now.y, -5.0f);
        }
        ASSERT_EQ(bitsOf(now.x1), bitsOf(now.x + GRID_STEP));
        ASSERT_EQ(bitsOf(now.y1), bitsOf(now.y + GRID_STEP));
    }
}

TEST(Heights, PeakAndRimOfBothSurfaces)
{
    EXPECT_EQ(bumpHeight(0.0f, 0.0f), 8.0f);
    EXPECT_EQ(raisedBumpHeight(0.0f, 0.0f), 8.0f);

    // At the corner (-5, -5): 8 e^-10 and 7 e^-10 + 1.  expf may be off by
    // an ulp or so; 1e-6 relative is several ulp.
    const double tail = std::exp(-10.0);
    EXPECT_NEAR(bumpHeight(-5.0f, -5.0f), 8.0 * tail, 8.0 * tail * 1e-6);
    EXPECT_NEAR(raisedBumpHeight(-5.0f, -5.0f), 7.0 * tail + 1.0, 1e-6);

    // The surfaces are symmetric in x and y and under a change of sign.
    EXPECT_EQ(bumpHeight(1.5f, -2.0f), bumpHeight(-2.0f, 1.5f));
    EXPECT_EQ(bumpHeight(1.5f, -2.0f), bumpHeight(-1.5f, 2.0f));
}

TEST(Heights, FollowTheGaussianEverywhereOnTheGrid)
{
    // A double-precision reference of the same formula.  The three float
    // roundings before expf put a relative error of up to about 2e-7 into
    // an exponent as large as -10, which exp turns into a relative error of
    // up to about 2e-6 in the result; 4e-6 leaves room for expf's own ulp.
    constexpr double RELATIVE = 4e-6;
    forEachCell([&](float x, float y, float, float) {
        const double g = std::exp((double(x) * x + double(y) * y) / -5.0);
        ASSERT_NEAR(bumpHeight(x, y), 8.0 * g, 8.0 * g * RELATIVE) << x << ", " << y;
        ASSERT_NEAR(raisedBumpHeight(x, y), 7.0 * g + 1.0, 7.0 * g * RELATIVE + 1e-6)
            << x << ", " << y;
    });
}

TEST(Heights, RaisedSurfaceNeverDropsBelowOne)
{
    // Far outside the grid the exponential underflows to zero: still 1.
    for (float x : {-5.0f, 4.6551738f, 5.3448277f, 20.0f, 1e10f}) {
        for (float y : {-5.0f, 0.0f, 4.6551738f, 20.0f}) {
            EXPECT_GE(raisedBumpHeight(x, y), 1.0f) << x << ", " << y;
        }
    }
    forEachCell([](float x, float y, float x1, float y1) {
        ASSERT_GE(raisedBumpHeight(x, y), 1.0f);
        ASSERT_GE(raisedBumpHeight(x1, y1), 1.0f);
    });
}
