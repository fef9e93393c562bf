// Lesson 9's pictures of known functions against a model worked out here:
// planes, whose drawn height, normal and level are the same arithmetic at
// every point, coloured with viridis from its published 8-bit values.
// Only the camera comes from the tests' scene model.
#include "gui_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Viridis at nine evenly spaced levels, 0 to 1.
const double VIRIDIS[9][3] = {{68, 1, 84},    {71, 45, 123},  {59, 82, 139},
                              {44, 114, 142}, {33, 144, 140}, {39, 173, 129},
                              {93, 200, 99},  {170, 220, 50}, {253, 231, 37}};
// The light's direction, (1, 1, 1) normalised, and its ambient part.
const double LIGHT = 1.0 / std::sqrt(3.0);
const double AMBIENT = 0.2;
// 8-bit rounding of the nine colours and of the lit product.
const int TOLERANCE = 3;

harness::Rgb expected(double level, double diffuse)
{
    const double at = std::clamp(level, 0.0, 1.0) * 8.0;
    const int below = std::min(static_cast<int>(at), 7);
    const double t = at - below;
    int channel[3];
    for (int i = 0; i < 3; ++i) {
        const double c = (VIRIDIS[below][i] * (1 - t) + VIRIDIS[below + 1][i] * t) / 255.0;
        channel[i] = scene::toLevel(std::min((AMBIENT + diffuse) * c, 1.0));
    }
    return {static_cast<std::uint8_t>(channel[0]), static_cast<std::uint8_t>(channel[1]),
            static_cast<std::uint8_t>(channel[2])};
}

bool near(const harness::Rgb& a, const harness::Rgb& b)
{
    return std::abs(a.r - b.r) <= TOLERANCE && std::abs(a.g - b.g) <= TOLERANCE &&
           std::abs(a.b - b.b) <= TOLERANCE;
}

// f = a x + b y + c over -5 <= x, y <= 5, drawn from 1 at its lowest to 6
// at its highest (at 3.5 if constant).
struct Plane {
    double a, b, c;
};

// The point of the plane z = z0 + zx x + zy y that the pixel's centre
// shows: Newton's method on the camera's projection, with a numerical
// Jacobian, from the middle of the square.
scene::Vec3 pointSeen(double column, double row, double z0, double zx, double zy)
{
    auto at = [&](double x, double y) {
        return scene::project({x, y, z0 + zx * x + zy * y}, gui::WINDOW_SIZE, gui::WINDOW_SIZE);
    };
    double x = 0.0, y = 0.0;
    const double h = 1e-6;
    for (int i = 0; i < 20; ++i) {
        const scene::ScreenPoint p = at(x, y), px = at(x + h, y), py = at(x, y + h);
        const double a = (px.column - p.column) / h, b = (py.column - p.column) / h;
        const double c = (px.row - p.row) / h, d = (py.row - p.row) / h;
        const double u = column - p.column, v = row - p.row, det = a * d - b * c;
        x += (d * u - b * v) / det;
        y += (a * v - c * u) / det;
    }
    return {x, y, z0 + zx * x + zy * y};
}

void expectPlane(const harness::Image& picture, const Plane& p, const std::string& name)
{
    const double range = 10.0 * (std::fabs(p.a) + std::fabs(p.b));
    const double lowest = p.c - range / 2.0;
    const double scale = range > 0.0 ? 5.0 / range : 0.0;
    // The drawn surface z = 1 + (f - lowest) * scale has this unit normal.
    const double nx = -p.a * scale, ny = -p.b * scale;
    const double length = std::sqrt(nx * nx + ny * ny + 1.0);
    const double diffuse = std::max((nx + ny + 1.0) / length * LIGHT, 0.0);
    const double z0 = range > 0.0 ? 1.0 + (p.c - lowest) * scale : 3.5;
    for (double x = -4.0; x <= 4.0; x += 2.0) {
        for (double y = -4.0; y <= 4.0; y += 2.0) {
            // The pixel this grid point falls in, and what its centre shows.
            const double f = p.a * x + p.b * y + p.c;
            const scene::ScreenPoint s =
                scene::project({x, y, z0 + (f - p.c) * scale}, gui::WINDOW_SIZE, gui::WINDOW_SIZE);
            const int column = static_cast<int>(s.column), row = static_cast<int>(s.row);
            const scene::Vec3 seen3 = pointSeen(column + 0.5, row + 0.5, z0, -nx, -ny);
            const double level =
                range > 0.0 ? (p.a * seen3.x + p.b * seen3.y + p.c - lowest) / range : 0.5;
            const harness::Rgb seen = picture.pixel(column, row);
            EXPECT_TRUE(near(seen, expected(level, diffuse)))
                << name << " at (" << x << ", " << y << "): " << harness::toString(seen)
                << ", expected " << harness::toString(expected(level, diffuse)) << "; "
                << gui::keepPicture(picture, name);
        }
    }
}

harness::Image show(const std::vector<std::string>& arguments, std::string* output = nullptr,
                    const char* program = VELMOR9_PROGRAM, const char* title = VELMOR9_TITLE)
{
    harness::LaunchOptions options(program);
    options.arguments = arguments;
    harness::Lesson lesson(gui::sharedDisplay(), options);
    EXPECT_EQ(lesson.title(), title);
    harness::Image picture = lesson.capture();
    if (output != nullptr) {
        *output = lesson.output();
    }
    return picture;
}

TEST(Lesson9Function, PlanesAreDrawnAndColouredAsTheModelSays)
{
    std::string said;
    const harness::Image tilted = show({"x"}, &said);
    expectPlane(tilted, {1, 0, 0}, "velmor9-x");
    EXPECT_NE(said.find("lowest value on the grid, f = -5; yellow at the top the highest, f = 5"),
              std::string::npos)
        << said;

    // The heights are fitted, so any scale of f gives the same picture,
    // even one far beyond a float's range; and the grid's fineness does
    // not change a plane.
    EXPECT_LE(harness::countDifferentPixels(tilted, show({"1e300 * x"})), 0u);
    expectPlane(show({"--cells", "200", "x"}), {1, 0, 0}, "velmor9-x-200");
    expectPlane(show({"y / 2 - x / 4 + 7"}), {-0.25, 0.5, 7}, "velmor9-xy");

    // A constant: one colour, flat at the middle height.
    expectPlane(show({"3"}, &said), {0, 0, 3}, "velmor9-constant");
    EXPECT_NE(said.find("f is 3 all over the grid"), std::string::npos) << said;

    // The highest of -x^2 is a negative zero, said as 0: by lesson 9, and
    // by the lessons after it, which plot with the core's copy of its code.
    show({"-x^2"}, &said);
    EXPECT_NE(said.find("the highest, f = 0.  Heights"), std::string::npos) << said;
#ifdef VELMOR11_PROGRAM
    show({"-x^2"}, &said, VELMOR10_PROGRAM, VELMOR10_TITLE);
    EXPECT_NE(said.find("the highest, f = 0.  Heights"), std::string::npos) << said;
    show({"-x^2"}, &said, VELMOR11_PROGRAM, VELMOR11_TITLE);
    EXPECT_NE(said.find("the highest, f = 0.  Heights"), std::string::npos) << said;
#endif
}

// The key at the right edge runs from the map's first colour at the
// bottom to its last at the top, unlit.
TEST(Lesson9Function, TheKeyShowsTheWholeMap)
{
    const harness::Image picture = show({});
    const int column = static_cast<int>((1.0 + 0.945) / 2.0 * gui::WINDOW_SIZE);
    for (int row = 60; row <= 440; row += 38) {
        const double up = 1.0 - 2.0 * (row + 0.5) / gui::WINDOW_SIZE;
        const double level = (up + 0.8) / 1.6;
        EXPECT_TRUE(near(picture.pixel(column, row), expected(level, 1.0 - AMBIENT)))
            << "row " << row << ": " << harness::toString(picture.pixel(column, row)) << "; "
            << gui::keepPicture(picture, "velmor9-key");
    }
}

// Where f has no value the cells around are left out and counted: log(x)
// has none for x <= 0, and 0 is a grid line, so 15 of the 28 columns go.
TEST(Lesson9Function, CellsWithoutAValueAreLeftOutAndCounted)
{
    std::string said;
    const harness::Image picture = show({"log(x)"}, &said);
    EXPECT_NE(said.find("420 of 784 cells are left out"), std::string::npos) << said;
    // Where they were, the white background or the grid shows: points of
    // the plane z = 0 in front of all the cells of x > 0.
    for (const scene::Vec3& point : {scene::Vec3{-3.0, 4.0, 0.0}, scene::Vec3{-4.0, 4.5, 0.0}}) {
        const scene::ScreenPoint s = scene::project(point, gui::WINDOW_SIZE, gui::WINDOW_SIZE);
        const harness::Rgb seen =
            picture.pixel(static_cast<int>(s.column), static_cast<int>(s.row));
        EXPECT_TRUE(seen.r == seen.g && seen.g == seen.b)
            << harness::toString(seen) << "; " << gui::keepPicture(picture, "velmor9-gap");
    }
}

} // namespace
