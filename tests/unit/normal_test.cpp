// vertexNormal: reference values, exact cases, and agreement with an
// independent double-precision evaluation over the whole grid.
//
// The normals depend on heights from expf, which is not correctly rounded
// (its variants differ by an ulp on some inputs), so values are compared
// with a tolerance; only what is exact by construction is compared bit for
// bit.
#include "plotcore.h"
#include "scene.h"
#include "test_floats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace {

// 28 cells a side, see forEachCell.
constexpr int GRID_CELLS = 28;

float flatHeight(float, float)
{
    return 2.5f;
}

// The values of the grid walk along either axis.
const std::vector<float> GRID = scene::gridCoordinates();

Float3 normalAt(float x, float y, HeightFn H)
{
    Float3 out;
    vertexNormal(out, {x, y, H(x, y)}, H);
    return out;
}

} // namespace

TEST(VertexNormal, MatchesTheReferenceValues)
{
    // The 11th x and 15th y value of the walk.
    const float x = GRID[10], y = GRID[14];
    EXPECT_NEAR(x, -1.5517235f, 1e-6f);
    EXPECT_NEAR(y, -0.1724131f, 1e-6f);
    EXPECT_NEAR(bumpHeight(x, y), 4.913208f, 2e-6f);

    const Float3 bump = normalAt(x, y, bumpHeight);
    EXPECT_NEAR(bump.x, -0.9437f, 5e-5f);
    EXPECT_NEAR(bump.y, -0.1030f, 5e-5f);
    EXPECT_NEAR(bump.z, 0.3145f, 5e-5f);

    const Float3 raised = normalAt(x, y, raisedBumpHeight);
    EXPECT_NEAR(raised.x, -0.9297f, 5e-5f);
    EXPECT_NEAR(raised.y, -0.1015f, 5e-5f);
    EXPECT_NEAR(raised.z, 0.3541f, 5e-5f);

    const Float3 corner = normalAt(-5.0f, -5.0f, bumpHeight);
    EXPECT_NEAR(corner.x, -0.0008f, 5e-5f);
    EXPECT_NEAR(corner.y, -0.0008f, 5e-5f);
    EXPECT_NEAR(corner.z, 1.0f, 1e-6f);
}

TEST(VertexNormal, IsExactlyUpOverFlatGround)
{
    for (float x : {-5.0f, 0.0f, 4.6551738f}) {
        const Float3 n = normalAt(x, 1.0f, flatHeight);
        EXPECT_EQ(n.x, 0.0f);
        EXPECT_EQ(n.y, 0.0f);
        EXPECT_EQ(n.z, 1.0f);
    }
}

TEST(VertexNormal, WritesIntoAndReturnsTheCallersRecord)
{
    Float3 out = {7.0f, 7.0f, 7.0f};
    Float3& result = vertexNormal(out, {0.5f, 0.5f, bumpHeight(0.5f, 0.5f)}, bumpHeight);
    EXPECT_EQ(&result, &out);
    EXPECT_NE(out.z, 7.0f);
}

TEST(VertexNormal, TakesTheVertexHeightFromTheCaller)
{
    // Lowering p below its neighbours tilts all four triangles towards it;
    // recomputing z from H instead would ignore the change.
    const float x = 2.0f, y = -1.0f;
    Float3 asGiven, lowered;
    vertexNormal(asGiven, {x, y, bumpHeight(x, y)}, bumpHeight);
    vertexNormal(lowered, {x, y, bumpHeight(x, y) - 1.0f}, bumpHeight);
    EXPECT_NE(bitsOf(asGiven.x), bitsOf(lowered.x));
}

TEST(VertexNormal, AgreesWithADoublePrecisionReferenceOnEveryVertex)
{
    // All 29 x 29 vertices of the drawn grid, rim included, for both
    // surfaces.  The float construction differs from the exact one by a
    // few roundings of quantities of order one; 2e-5 is far below any
    // visible change and far above that rounding.
    for (int i = 0; i <= GRID_CELLS; ++i) {
        for (int j = 0; j <= GRID_CELLS; ++j) {
            const float x = GRID[i], y = GRID[j];
            for (const auto& [height, surface] :
                 {std::pair<HeightFn, scene::Surface>{bumpHeight, scene::bump},
                  {raisedBumpHeight, scene::raisedBump}}) {
                const Float3 n = normalAt(x, y, height);
                const scene::Vec3 reference = scene::vertexNormal(surface, x, y);
                ASSERT_NEAR(n.x, reference.x, 2e-5) << x << ", " << y;
                ASSERT_NEAR(n.y, reference.y, 2e-5) << x << ", " << y;
                ASSERT_NEAR(n.z, reference.z, 2e-5) << x << ", " << y;
                // Every triangle turns left, so every normal points up.
                ASSERT_GT(n.z, 0.0f);
            }
        }
    }
}

TEST(VertexNormal, RoundsInTheDescribedOrderBitForBit)
{
    // Given the same heights (from the same height function, so the same
    // expf), the rest is +, -, *, / and sqrtf, all correctly rounded: the
    // result is fixed to the bit by the order of the operations.  This
    // writes that order out step by step; regrouping a sum or a length
    // anywhere in vertexNormal changes hundreds of the results.
    const auto unitInOrder = [](float vx, float vy, float vz) {
        float length = std::sqrt((vx * vx + vy * vy) + vz * vz);
        if (double(length) < 1e-6) {
            length = 1.0f;
        }
        return Float3{vx / length, vy / length, vz / length};
    };
    const auto crossThenUnit = [&](const Float3& a, const Float3& b) {
        return unitInOrder(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    };
    for (HeightFn H : {bumpHeight, raisedBumpHeight}) {
        for (int i = 0; i <= GRID_CELLS; ++i) {
            for (int j = 0; j <= GRID_CELLS; ++j) {
                const float x = GRID[i], y = GRID[j], z = H(x, y);
                const float h = GRID_STEP;
                const float east = x + h, west = x - h, north = y + h, south = y - h;
                const Float3 e = {east - x, y - y, H(east, y) - z};
                const Float3 w = {west - x, y - y, H(west, y) - z};
                const Float3 n = {x - x, north - y, H(x, north) - z};
                const Float3 s = {x - x, south - y, H(x, south) - z};
                const Float3 a = crossThenUnit(e, n), b = crossThenUnit(n, w);
                const Float3 c = crossThenUnit(w, s), d = crossThenUnit(s, e);
                const Float3 expected =
                    unitInOrder(((a.x + b.x) + c.x) + d.x, ((a.y + b.y) + c.y) + d.y,
                                ((a.z + b.z) + c.z) + d.z);

                const Float3 got = normalAt(x, y, H);
                ASSERT_EQ(bitsOf(got), bitsOf(expected)) << x << ", " << y;
            }
        }
    }
}

TEST(VertexNormal, IsBitIdenticalInEveryCellAroundAVertex)
{
    // An interior vertex is c11, c01, c10 and c00 of four different cells.
    // The walk gives all four the same coordinates, so all four cells must
    // get the same normal, or smooth shading would show a seam.
    std::map<std::pair<int, int>, std::vector<Float3>> normals; // vertex (i, j) -> per cell
    int cell = 0;
    forEachCell([&](float x, float y, float x1, float y1) {
        const int i = cell / GRID_CELLS, j = cell % GRID_CELLS;
        const struct {
            int di, dj;
            float x, y;
        } corners[] = {{0, 0, x, y}, {1, 0, x1, y}, {1, 1, x1, y1}, {0, 1, x, y1}};
        for (const auto& c : corners) {
            Float3 n;
            vertexNormal(n, {c.x, c.y, raisedBumpHeight(c.x, c.y)}, raisedBumpHeight);
            normals[{i + c.di, j + c.dj}].push_back(n);
        }
        ++cell;
    });
    ASSERT_EQ(normals.size(), static_cast<size_t>((GRID_CELLS + 1) * (GRID_CELLS + 1)));
    size_t sharedByFour = 0;
    for (const auto& [vertex, seen] : normals) {
        for (const Float3& n : seen) {
            ASSERT_EQ(bitsOf(n), bitsOf(seen.front())) << vertex.first << ", " << vertex.second;
        }
        sharedByFour += seen.size() == 4;
    }
    EXPECT_EQ(sharedByFour, static_cast<size_t>((GRID_CELLS - 1) * (GRID_CELLS - 1)));
}
