// scene.cpp - the reference model of scene.h.
#include "scene.h"

#include <algorithm>
#include <cmath>

namespace scene {
namespace {

constexpr float GRID_START = -5.0f;
constexpr float GRID_END = 5.0f;
// The float nearest to 10/29, bit pattern 0x3EB08D3E.
constexpr float STEP = 10.0f / 29.0f;

constexpr double PI = 3.14159265358979323846;

// The peak height and the Gaussian's width: z = A exp(-(x^2 + y^2) / 5).
constexpr double BUMP_HEIGHT = 8.0;
constexpr double RAISED_HEIGHT = 7.0;
constexpr double RAISED_BASE = 1.0;
constexpr double SPREAD = 5.0;

// Global ambient light times the material's ambient colour (the surface
// colour itself, through colour material).
constexpr double AMBIENT = 0.2;

// Below this a projected triangle has no inside worth speaking of.
constexpr double DEGENERATE_AREA = 1e-9;

Vec3 minus(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

double dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 unit(const Vec3& v)
{
    const double length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}

Vec3 add(const Vec3& a, const Vec3& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

// How far p lies inside the triangle, in pixels: the smallest signed
// distance to its three edge lines, positive inside.  A degenerate
// triangle has no inside: minus the distance to its nearest edge.
double insideBy(const ScreenPoint& p, const ScreenPoint& a, const ScreenPoint& b,
                const ScreenPoint& c)
{
    const double area =
        (b.column - a.column) * (c.row - a.row) - (b.row - a.row) * (c.column - a.column);
    if (std::abs(area) < DEGENERATE_AREA) {
        return -std::min(
            {distanceToSegment(p, a, b), distanceToSegment(p, b, c), distanceToSegment(p, c, a)});
    }
    const double orientation = area > 0 ? 1.0 : -1.0;
    const ScreenPoint corners[3] = {a, b, c};
    double smallest = INFINITY;
    for (int i = 0; i < 3; ++i) {
        const ScreenPoint& from = corners[i];
        const ScreenPoint& to = corners[(i + 1) % 3];
        const double dx = to.column - from.column;
        const double dy = to.row - from.row;
        const double length = std::hypot(dx, dy);
        if (length == 0.0) {
            continue;
        }
        const double side = (dx * (p.row - from.row) - dy * (p.column - from.column)) / length;
        smallest = std::min(smallest, orientation * side);
    }
    return smallest;
}

} // namespace

std::vector<float> gridCoordinates()
{
    std::vector<float> values;
    const float last = GRID_END - STEP;
    float x = GRID_START;
    for (; x <= last; x = x + STEP) {
        values.push_back(x);
    }
    values.push_back(x);
    return values;
}

double bump(double x, double y)
{
    return BUMP_HEIGHT * std::exp(-(x * x + y * y) / SPREAD);
}

double raisedBump(double x, double y)
{
    return RAISED_HEIGHT * std::exp(-(x * x + y * y) / SPREAD) + RAISED_BASE;
}

namespace {

// exp(-(x^2 + y^2) / 5), everything but the exponential in float.
double gaussianAtFloats(float x, float y)
{
    const float squares = x * x + y * y;
    const float quotient = squares / -static_cast<float>(SPREAD);
    return std::exp(static_cast<double>(quotient));
}

} // namespace

double bumpAtFloats(float x, float y)
{
    return BUMP_HEIGHT * gaussianAtFloats(x, y);
}

double raisedBumpAtFloats(float x, float y)
{
    return RAISED_HEIGHT * gaussianAtFloats(x, y) + RAISED_BASE;
}

Vec3 faceNormal(Surface surface, double x, double y, double x1, double y1)
{
    const double z = surface(x, y);
    const Vec3 u = {x1 - x, 0.0, surface(x1, y) - z};
    const Vec3 v = {0.0, y1 - y, surface(x, y1) - z};
    return unit(cross(u, v));
}

Vec3 vertexNormal(Surface surface, double x, double y)
{
    const double h = static_cast<double>(STEP);
    const double z = surface(x, y);
    const Vec3 e = {h, 0.0, surface(x + h, y) - z};
    const Vec3 n = {0.0, h, surface(x, y + h) - z};
    const Vec3 w = {-h, 0.0, surface(x - h, y) - z};
    const Vec3 s = {0.0, -h, surface(x, y - h) - z};
    const Vec3 sum =
        add(add(unit(cross(e, n)), unit(cross(n, w))), add(unit(cross(w, s)), unit(cross(s, e))));
    return unit(sum);
}

Vec3 vertexNormalAtFloats(FloatSurface surface, float x, float y)
{
    const float h = STEP;
    const double z = surface(x, y);
    const float east = x + h, west = x - h, north = y + h, south = y - h;
    const Vec3 e = {static_cast<double>(east - x), 0.0, surface(east, y) - z};
    const Vec3 w = {static_cast<double>(west - x), 0.0, surface(west, y) - z};
    const Vec3 n = {0.0, static_cast<double>(north - y), surface(x, north) - z};
    const Vec3 s = {0.0, static_cast<double>(south - y), surface(x, south) - z};
    const Vec3 a = unit(cross(e, n)), b = unit(cross(n, w));
    const Vec3 c = unit(cross(w, s)), d = unit(cross(s, e));
    return unit({a.x + b.x + c.x + d.x, a.y + b.y + c.y + d.y, a.z + b.z + c.z + d.z});
}

double litGreen(const Vec3& normal)
{
    const Vec3 light = unit({1.0, 1.0, 1.0});
    return std::min(1.0, AMBIENT + std::max(0.0, dot(normal, light)));
}

int toLevel(double value)
{
    return static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

CameraAxes cameraAxes()
{
    const Vec3 forward = unit({-EYE, -EYE, -EYE});
    const Vec3 side = unit(cross(forward, {0.0, 0.0, 1.0}));
    return {forward, side, cross(side, forward)};
}

std::array<double, 16> viewRotation()
{
    const CameraAxes a = cameraAxes();
    return {{
        a.side.x, a.up.x, -a.forward.x, 0, // column 1
        a.side.y, a.up.y, -a.forward.y, 0, // column 2
        a.side.z, a.up.z, -a.forward.z, 0, // column 3
        0, 0, 0, 1,                        // column 4
    }};
}

double aspectOf(int width, int height)
{
    return static_cast<double>(static_cast<float>(width) / static_cast<float>(height));
}

namespace {

// GLU takes the cotangent of half the field of view as cos / sin.
double cotangentOfHalfView()
{
    const double radians = FIELD_OF_VIEW_DEGREES / 2 * PI / 180;
    return std::cos(radians) / std::sin(radians);
}

} // namespace

std::array<double, 16> perspective(double aspect)
{
    const double cotangent = cotangentOfHalfView();
    const double near = static_cast<double>(NEAR_PLANE);
    const double depth = FAR_PLANE - near;
    return {{
        cotangent / aspect, 0, 0, 0,            // column 1
        0, cotangent, 0, 0,                     // column 2
        0, 0, -(FAR_PLANE + near) / depth, -1,  // column 3
        0, 0, -2 * near * FAR_PLANE / depth, 0, // column 4
    }};
}

ScreenPoint project(const Vec3& world, int width, int height)
{
    const CameraAxes axes = cameraAxes();
    const Vec3 relative = minus(world, {EYE, EYE, EYE});
    const double xe = dot(axes.side, relative);
    const double ye = dot(axes.up, relative);
    const double depth = dot(axes.forward, relative); // -z in eye space

    // The lessons divide in single precision.
    const double aspect = aspectOf(width, height);
    const double cotangent = cotangentOfHalfView();
    const double ndcX = cotangent / aspect * xe / depth;
    const double ndcY = cotangent * ye / depth;
    return {(ndcX + 1.0) * width / 2.0, height - (ndcY + 1.0) * height / 2.0};
}

double distanceToSegment(const ScreenPoint& p, const ScreenPoint& a, const ScreenPoint& b)
{
    const double dx = b.column - a.column;
    const double dy = b.row - a.row;
    const double lengthSquared = dx * dx + dy * dy;
    double t = 0.0;
    if (lengthSquared > 0.0) {
        t = ((p.column - a.column) * dx + (p.row - a.row) * dy) / lengthSquared;
        t = std::clamp(t, 0.0, 1.0);
    }
    return std::hypot(p.column - (a.column + t * dx), p.row - (a.row + t * dy));
}

CellMap::CellMap(Surface surface, int width, int height, double margin)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
    const std::vector<float> grid = gridCoordinates();
    const int cells = static_cast<int>(grid.size()) - 1;
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const double x = grid[i];
            const double x1 = grid[i + 1];
            const double y = grid[j];
            const double y1 = grid[j + 1];
            const ScreenPoint c00 = project({x, y, surface(x, y)}, width, height);
            const ScreenPoint c10 = project({x1, y, surface(x1, y)}, width, height);
            const ScreenPoint c11 = project({x1, y1, surface(x1, y1)}, width, height);
            const ScreenPoint c01 = project({x, y1, surface(x, y1)}, width, height);

            const double left = std::min({c00.column, c10.column, c11.column, c01.column});
            const double right = std::max({c00.column, c10.column, c11.column, c01.column});
            const double top = std::min({c00.row, c10.row, c11.row, c01.row});
            const double bottom = std::max({c00.row, c10.row, c11.row, c01.row});
            const int firstColumn = std::max(0, static_cast<int>(std::floor(left - margin)));
            const int lastColumn = std::min(width - 1, static_cast<int>(std::ceil(right + margin)));
            const int firstRow = std::max(0, static_cast<int>(std::floor(top - margin)));
            const int lastRow = std::min(height - 1, static_cast<int>(std::ceil(bottom + margin)));

            const int cell = i * cells + j;
            for (int row = firstRow; row <= lastRow; ++row) {
                for (int column = firstColumn; column <= lastColumn; ++column) {
                    const ScreenPoint p = {column + 0.5, row + 0.5};
                    // Split along c00-c11, or along c10-c01.
                    const double a =
                        std::max(insideBy(p, c00, c10, c11), insideBy(p, c00, c11, c01));
                    const double b =
                        std::max(insideBy(p, c00, c10, c01), insideBy(p, c10, c11, c01));
                    Pixel& pixel = pixels_[index(column, row)];
                    pixel.coveredOneWay = pixel.coveredOneWay || a >= 0.0;
                    pixel.coveredOtherWay = pixel.coveredOtherWay || b >= 0.0;
                    if (std::min(a, b) >= margin) {
                        pixel.under = pixel.top;
                        pixel.top = cell;
                        ++pixel.layers;
                        pixel.disturbedSinceTop = false;
                        pixel.possible = true;
                    } else if (std::max(a, b) > -margin) {
                        pixel.disturbedSinceTop = true;
                        pixel.disturbed = true;
                        pixel.possible = true;
                    }
                }
            }
        }
    }
}

} // namespace scene
