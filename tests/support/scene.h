// scene.h - the one reference model of what the lessons compute and draw,
// for every test that predicts it: the grid walk, the two surfaces and
// their normals in double precision, the fixed camera (its matrices as GLU
// builds them, and projected the way GLU and OpenGL do), the lighting, and
// a map saying which cell is on top at each pixel.
//
// None of this uses the plot core: a test that borrowed the code under
// test to predict its output would check nothing.
#ifndef REFERENCE_SCENE_H
#define REFERENCE_SCENE_H

#include <array>
#include <cstddef>
#include <vector>

namespace scene {

struct Vec3 {
    double x, y, z;
};

// ---------------------------------------------------------------------------
// Geometry

// The coordinates the lessons walk along each axis: -5, then repeated
// single-precision additions of the step while the value is at most
// 5 - step.  29 values: the lower corners of the 28 cells and, last, the
// upper corner of the last cell.
std::vector<float> gridCoordinates();

// The two surfaces, in double precision.
double bump(double x, double y);
double raisedBump(double x, double y);
using Surface = double (*)(double, double);

// The same at float grid points, computed as the lessons compute them:
// x * x + y * y and the division by -5 in float, which the lessons round
// exactly so; only the exponential is taken in double (expf may be an
// ulp off).
double bumpAtFloats(float x, float y);
double raisedBumpAtFloats(float x, float y);
using FloatSurface = double (*)(float, float);

// The unit normal of the plane through (x, y), (x1, y) and (x, y1) on the
// surface: the one normal a flat-shaded cell gets.
Vec3 faceNormal(Surface surface, double x, double y, double x1, double y1);

// The smoothed normal at a grid vertex: the normalised sum of the unit
// normals of the four triangles it forms with its neighbours one step
// east, north, west and south.
Vec3 vertexNormal(Surface surface, double x, double y);
// The same with the neighbours placed one float step away in float, as
// the lessons place them.
Vec3 vertexNormalAtFloats(FloatSurface surface, float x, float y);

// The green channel, 0..1, that fixed-function lighting gives a surface
// of colour (0, 1, 0) with normal n: colour material sets both ambient
// and diffuse (GL_AMBIENT_AND_DIFFUSE is the default), so it is
// 0.2 (global ambient) x 1 + max(0, n . l) x 1 for the light direction
// l = (1, 1, 1) / sqrt(3), clamped to 1.  Light 0 has no ambient part and
// the material no specular one, so red and blue stay 0.
double litGreen(const Vec3& normal);

// 0..1 to the nearest 8-bit level.
int toLevel(double value);

// ---------------------------------------------------------------------------
// Camera

// The eye at (10, 10, 10) looks at the origin with +z up; the perspective
// has a 60 degree vertical field of view, the window's aspect ratio, and
// the near and far planes 0.1 (handed to GLU as a float) and 30.
constexpr double EYE = 10.0;
constexpr double FIELD_OF_VIEW_DEGREES = 60.0;
constexpr float NEAR_PLANE = 0.1f;
constexpr double FAR_PLANE = 30.0;

// The camera's axes: the unit vectors the eye looks along, to its right
// and up the screen.
struct CameraAxes {
    Vec3 forward, side, up;
};
CameraAxes cameraAxes();

// gluLookAt's rotation, column-major, without the translation by -EYE
// that follows it: rows side, up and -forward.
std::array<double, 16> viewRotation();

// The aspect ratio as the lessons divide it, in float.
double aspectOf(int width, int height);

// gluPerspective's matrix as GLU computes it in double, column-major.
std::array<double, 16> perspective(double aspect);

// Where a world point lands in a window of width x height pixels: column
// and row in pixel units from the top-left corner (the centre of pixel
// (i, j) is at (i + 0.5, j + 0.5)).  Eye (10, 10, 10) looking at the
// origin with +z up, 60 degree vertical field of view, the window's
// aspect ratio.
struct ScreenPoint {
    double column, row;
};
ScreenPoint project(const Vec3& world, int width, int height);

// ---------------------------------------------------------------------------
// Which cells cover which pixel

// The cells are drawn in order (x outer, y inner, both ascending) without
// a depth test, so at each pixel the last cell that covers it shows.  A
// quad is not planar and the rasteriser splits it along one of its
// diagonals; the map does not assume which.  A pixel is certainly covered
// by a quad if its centre lies at least `margin` pixels inside the quad
// whichever diagonal is used, and possibly covered if it lies less than
// `margin` outside either split.
class CellMap {
  public:
    static constexpr int NONE = -1;

    CellMap(Surface surface, int width, int height, double margin);

    int width() const
    {
        return width_;
    }
    int height() const
    {
        return height_;
    }

    // The last cell (index x * 28 + y) that certainly covers the pixel,
    // or NONE; and the one before it.
    int topCell(int column, int row) const
    {
        return pixels_[index(column, row)].top;
    }
    int cellUnderTop(int column, int row) const
    {
        return pixels_[index(column, row)].under;
    }
    // Whether the pixel's colour is certainly that of topCell: no later
    // cell possibly covers it.
    bool settled(int column, int row) const
    {
        const Pixel& p = pixels_[index(column, row)];
        return p.top != NONE && !p.disturbedSinceTop;
    }
    // Whether the pixel is certainly covered by exactly layers() cells: no
    // cell possibly covers it without certainly covering it.
    bool clean(int column, int row) const
    {
        return !pixels_[index(column, row)].disturbed;
    }
    int layers(int column, int row) const
    {
        return pixels_[index(column, row)].layers;
    }
    // Whether any cell possibly covers the pixel.
    bool possiblyCovered(int column, int row) const
    {
        return pixels_[index(column, row)].possible;
    }
    // Whether the centre lies inside the surface's outline however the
    // quads are split, though perhaps on an edge between two quads.
    bool inOutline(int column, int row) const
    {
        const Pixel& p = pixels_[index(column, row)];
        return p.coveredOneWay && p.coveredOtherWay;
    }

  private:
    struct Pixel {
        int top = NONE;
        int under = NONE;
        int layers = 0;
        bool disturbedSinceTop = false;
        bool disturbed = false;
        bool possible = false;
        bool coveredOneWay = false;
        bool coveredOtherWay = false;
    };

    std::size_t index(int column, int row) const
    {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(column);
    }

    int width_, height_;
    std::vector<Pixel> pixels_;
};

// Distance in pixels from the point to the segment a-b.
double distanceToSegment(const ScreenPoint& p, const ScreenPoint& a, const ScreenPoint& b);

} // namespace scene

#endif
