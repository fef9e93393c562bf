// Picking: the walk over the cells a ray crosses finds what trying every
// triangle finds, and what it finds is under the pixel it was asked about.
#include "pick.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int CELLS = 40;
constexpr double WINDOW = 500.0;

// A wavy surface lifted into 1 to 6, as the lessons fit it, with a round
// hole where f has no value, so that some cells are left out.
std::vector<Float3> wavyGrid()
{
    std::vector<Float3> points;
    for (int i = 0; i <= CELLS; ++i) {
        for (int j = 0; j <= CELLS; ++j) {
            const float x =
                static_cast<float>(GRID_MIN + (double(GRID_MAX) - GRID_MIN) * i / CELLS);
            const float y =
                static_cast<float>(GRID_MIN + (double(GRID_MAX) - GRID_MIN) * j / CELLS);
            const bool hole = (x - 2.0f) * (x - 2.0f) + (y + 2.0f) * (y + 2.0f) < 2.0f;
            const float z = hole ? NAN : 3.5f + 2.5f * std::sin(x) * std::cos(y);
            points.push_back({x, y, z});
        }
    }
    return points;
}

glm::dmat4 projectionView(double azimuthDegrees, double elevationDegrees)
{
    const double a = glm::radians(azimuthDegrees);
    const double e = glm::radians(elevationDegrees);
    const glm::dvec3 eye =
        25.0 * glm::dvec3(std::cos(e) * std::cos(a), std::cos(e) * std::sin(a), std::sin(e));
    return glm::perspective(glm::radians(30.0), 1.0, 1.0, 100.0) *
           glm::lookAt(eye + glm::dvec3(0, 0, 3.5), glm::dvec3(0, 0, 3.5), glm::dvec3(0, 0, 1));
}

TEST(Pick, WalkAgreesWithEveryTriangleAndLandsUnderThePixel)
{
    const std::vector<Float3> points = wavyGrid();
    const GridPoints grid = {CELLS, points.data(), sizeof(Float3)};
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> pixel(0.0, WINDOW);
    int hits = 0, misses = 0;
    // Around the surface and from above and below it.
    for (const double elevation : {-20.0, 15.0, 40.0, 89.0}) {
        for (double azimuth = 10.0; azimuth < 360.0; azimuth += 72.0) {
            const glm::dmat4 toScreen = projectionView(azimuth, elevation);
            const glm::dmat4 inverse = glm::inverse(toScreen);
            for (int n = 0; n < 100; ++n) {
                const double px = pixel(random), py = pixel(random);
                const Ray ray = pixelRay(glm::value_ptr(inverse), 2.0 * px / WINDOW - 1.0,
                                         2.0 * py / WINDOW - 1.0);
                const Hit walked = pickSurface(grid, ray);
                const Hit tried = pickEveryTriangle(grid, ray);
                ASSERT_EQ(walked.found, tried.found)
                    << azimuth << " " << elevation << " " << px << " " << py;
                if (!walked.found) {
                    ++misses;
                    continue;
                }
                ++hits;
                EXPECT_EQ(walked.i, tried.i);
                EXPECT_EQ(walked.j, tried.j);
                EXPECT_EQ(walked.triangle, tried.triangle);
                const glm::dvec3 at = {walked.point[0], walked.point[1], walked.point[2]};
                EXPECT_LT(
                    glm::distance(at, glm::dvec3(tried.point[0], tried.point[1], tried.point[2])),
                    1e-4);
                // On the plane of the triangle it names, on its side of
                // the cell's diagonal from (i, j) to (i + 1, j + 1).
                auto corner = [&](int di, int dj) {
                    return points[(walked.i + di) * (CELLS + 1) + walked.j + dj];
                };
                const double fx = (at.x - corner(0, 0).x) / (corner(1, 0).x - corner(0, 0).x);
                const double fy = (at.y - corner(0, 0).y) / (corner(0, 1).y - corner(0, 0).y);
                const double z = walked.triangle == 0
                                     ? corner(0, 0).z + fx * (corner(1, 0).z - corner(0, 0).z) +
                                           fy * (corner(1, 1).z - corner(1, 0).z)
                                     : corner(0, 0).z + fy * (corner(0, 1).z - corner(0, 0).z) +
                                           fx * (corner(1, 1).z - corner(0, 1).z);
                EXPECT_NEAR(at.z, z, 1e-4);
                EXPECT_GE(walked.triangle == 0 ? fx - fy : fy - fx, -1e-6);
                const glm::dvec4 clip = toScreen * glm::dvec4(at, 1.0);
                const double sx = (clip.x / clip.w + 1.0) * WINDOW / 2.0;
                const double sy = (clip.y / clip.w + 1.0) * WINDOW / 2.0;
                EXPECT_LT(std::hypot(sx - px, sy - py), 0.5);
            }
        }
    }
    // Both answers were asked for often enough to mean something.
    EXPECT_GT(hits, 500);
    EXPECT_GT(misses, 100);
}

TEST(Pick, LeftOutCellsAndRaysThatMissTheSquare)
{
    const std::vector<Float3> points = wavyGrid();
    const GridPoints grid = {CELLS, points.data(), sizeof(Float3)};
    // Straight down into the hole at (2, -2): nothing there, not even the
    // floor of the cells around it.
    const Ray intoHole = {{2.0, -2.0, 50.0}, {0.0, 0.0, -1.0}};
    EXPECT_FALSE(pickSurface(grid, intoHole).found);
    // Straight down beside it: the surface at sin(x) cos(y).
    const Ray down = {{-1.0, 1.0, 50.0}, {0.0, 0.0, -1.0}};
    const Hit hit = pickSurface(grid, down);
    ASSERT_TRUE(hit.found);
    EXPECT_NEAR(hit.point[2], 3.5 + 2.5 * std::sin(-1.0) * std::cos(1.0), 0.05);
    // Beside the square, and away from it.
    EXPECT_FALSE(pickSurface(grid, Ray{{6.0, 0.0, 50.0}, {0.0, 0.0, -1.0}}).found);
    EXPECT_FALSE(pickSurface(grid, Ray{{0.0, 0.0, 50.0}, {0.0, 0.0, 1.0}}).found);
    EXPECT_FALSE(pickSurface(GridPoints{}, down).found);
}

} // namespace
