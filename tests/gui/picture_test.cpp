// picture_test.cpp - the four lessons as a person sees them: each real
// program runs on a private Xvfb (Mesa's llvmpipe renders it) and its
// window is captured with XGetImage, then compared with an independent
// model of the scene (scene.h).
//
// Colour levels: Mesa rasterises the lit colours in float and writes
// 8-bit channels, so a predicted level can differ from the captured one
// by rounding; "within one level" below means exactly that.
#include "gui_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>
#include <signal.h>

namespace {

using gui::LessonInfo;
using harness::Image;
using harness::Rgb;

constexpr Rgb WHITE = {255, 255, 255};
constexpr Rgb BLACK = {0, 0, 0};

// One 8-bit level of rounding between the model and the rasteriser.
constexpr int LEVEL_TOLERANCE = 1;

// Pixels closer than this to a projected edge are left out where a
// check needs to know which quad a pixel belongs to.  The rasteriser
// snaps vertices to 1/256 of a pixel and the model projects in double;
// one pixel leaves room for both and for the unknown quad diagonal.
constexpr double EDGE_MARGIN = 1.0;

// A cell needs this many settled pixels before its shade is judged.
constexpr std::size_t MIN_PIXELS_PER_CELL = 4;

// Lighting gives the green surface an 8-bit green of at least the ambient
// 0.2 (51), and every face the eye sees is also turned to the light, which
// shines from the eye's side.
constexpr int MIN_LIT_GREEN = 52;

// A wider window (same height) shows the same picture with white added
// at both sides.  The aspect ratio is divided in single precision, so
// the projection can differ in the ninth digit and flip the odd edge
// pixel; no more than this many may differ (measured: 0 or 1 of the
// surface's 48000 pixels).
constexpr std::size_t MAX_EDGE_FLIPS = 10;

// velmor6: the surface is blended with alpha 0.75 over what lies behind.
constexpr double SURFACE_ALPHA = 0.75;
// One layer over white leaves 0.25 x 255 = 63.75 in red and blue.
constexpr int ONE_LAYER_OVER_WHITE = 64;

// A lit black grid line seen through a surface: nothing behind it adds
// red, so red stays 0; a pixel that shows the background or a surface
// over it has red of at least 0.25^3 x 255 = 4 (three layers).
constexpr int GRID_RED_LIMIT = 2;

// Points sampled along each grid line, in steps of about a pixel or less.
constexpr int SAMPLES_PER_LINE = 600;

// A step across a border may exceed twice the larger step beside it by
// this much and still be smooth: three 8-bit roundings are involved.
// (Lesson 4 measured: at most 1 over 10002 borders; lesson 3 has jumps of
// up to 125 levels.)
constexpr int SEAM_TOLERANCE = 2;

// A one-pixel line passes within half a pixel of the centre of some
// pixel next to any point on it.
constexpr int LINE_RADIUS = 1;
// How far from the surface a sample must be to count as "around" it, and
// how far inside it to count as covered: clear of the line's own width.
constexpr int CLEARANCE = 2;

// ---------------------------------------------------------------------------
// Helpers: pictures

Image picture(const LessonInfo& lesson, int width = gui::WINDOW_SIZE, int height = gui::WINDOW_SIZE)
{
    harness::Lesson running(gui::sharedDisplay(), {lesson.program});
    if (width != gui::WINDOW_SIZE || height != gui::WINDOW_SIZE) {
        running.resize(width, height);
    }
    Image image = running.capture();
    running.stop();
    return image;
}

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1; // inclusive
    int width() const
    {
        return right - left + 1;
    }
};

// The smallest box around the pixels of a width x height window where
// inside(x, y) holds.
template <typename Inside> Box boxAround(int width, int height, Inside inside)
{
    Box box{width, height, -1, -1};
    harness::forEachPixel(width, height, [&](int x, int y) {
        if (inside(x, y)) {
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    });
    return box;
}

// The smallest box around everything that is not white background.
Box drawnBox(const Image& image)
{
    return boxAround(image.width(), image.height(), [&](int x, int y) {
        return image.pixel(x, y) != WHITE;
    });
}

// Calls visit(x, y) for each pixel within `radius` of (column, row).
template <typename Visit> void forEachNear(int column, int row, int radius, Visit&& visit)
{
    harness::forEachPixel(column - radius, row - radius, column + radius + 1, row + radius + 1,
                          visit);
}

// Whether a pixel within `radius` of (column, row) satisfies the test.
template <typename Test>
bool anyNear(const Image& image, int column, int row, int radius, Test test)
{
    bool found = false;
    forEachNear(column, row, radius, [&](int x, int y) {
        found = found || (image.contains(x, y) && test(image.pixel(x, y)));
    });
    return found;
}

// The projected segments of every grid line in the plane z = 0, in a
// window of the lessons' size.
std::vector<std::pair<scene::ScreenPoint, scene::ScreenPoint>> projectedGridLines()
{
    const std::vector<float> grid = scene::gridCoordinates();
    const double first = grid.front();
    const double last = grid.back();
    std::vector<std::pair<scene::ScreenPoint, scene::ScreenPoint>> lines;
    for (const float g : grid) {
        lines.emplace_back(scene::project({g, first, 0.0}, gui::WINDOW_SIZE, gui::WINDOW_SIZE),
                           scene::project({g, last, 0.0}, gui::WINDOW_SIZE, gui::WINDOW_SIZE));
        lines.emplace_back(scene::project({first, g, 0.0}, gui::WINDOW_SIZE, gui::WINDOW_SIZE),
                           scene::project({last, g, 0.0}, gui::WINDOW_SIZE, gui::WINDOW_SIZE));
    }
    return lines;
}

// ---------------------------------------------------------------------------
// Helpers: cells and their shades

std::uint32_t packed(const Rgb& c)
{
    return (std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b;
}

// The grid indices (i, j) of a cell number i * 28 + j.
std::pair<int, int> cellIndices(int cell)
{
    return {cell / gui::CELLS_PER_SIDE, cell % gui::CELLS_PER_SIDE};
}

// The predicted 8-bit green of each cell under flat shading.
std::vector<int> flatLevels(scene::Surface surface)
{
    const std::vector<float> grid = scene::gridCoordinates();
    std::vector<int> levels;
    for (int i = 0; i < gui::CELLS_PER_SIDE; ++i) {
        for (int j = 0; j < gui::CELLS_PER_SIDE; ++j) {
            const scene::Vec3 normal =
                scene::faceNormal(surface, grid[i], grid[j], grid[i + 1], grid[j + 1]);
            levels.push_back(scene::toLevel(scene::litGreen(normal)));
        }
    }
    return levels;
}

// A jump in colour between two horizontally or vertically adjacent pixels
// p and q that the model puts in neighbouring cells, compared with the
// steps just inside each cell (p's other neighbour to p, q to its other
// neighbour).  Smooth shading is continuous across a cell border but only
// piecewise linear: the slope may change at the border, so the step
// across may exceed the steps beside it, though not by more than twice
// the larger of them.  Flat shading jumps from one shade to the next with
// no step at all beside the border.
struct BorderSteps {
    std::size_t borders = 0; // border pairs looked at
    std::size_t seams = 0;   // of them, steps larger than beside them
    int largestExcess = 0;
};

BorderSteps borderSteps(const Image& image, const scene::CellMap& cells)
{
    BorderSteps result;
    const auto green = [&](int x, int y) {
        return static_cast<int>(image.pixel(x, y).g);
    };
    for (const auto& direction : {std::pair<int, int>{1, 0}, {0, 1}}) {
        const int dx = direction.first, dy = direction.second;
        for (int y = dy; y + 2 * dy < image.height(); ++y) {
            for (int x = dx; x + 2 * dx < image.width(); ++x) {
                const int before = cells.topCell(x - dx, y - dy);
                const int p = cells.topCell(x, y);
                const int q = cells.topCell(x + dx, y + dy);
                const int after = cells.topCell(x + 2 * dx, y + 2 * dy);
                if (p == scene::CellMap::NONE || q == scene::CellMap::NONE || p == q ||
                    before != p || after != q || !cells.settled(x - dx, y - dy) ||
                    !cells.settled(x, y) || !cells.settled(x + dx, y + dy) ||
                    !cells.settled(x + 2 * dx, y + 2 * dy)) {
                    continue;
                }
                // Only cells that share an edge: elsewhere one cell hides
                // another and the colours may well jump.
                const auto a = cellIndices(p), b = cellIndices(q);
                if (std::abs(a.first - b.first) + std::abs(a.second - b.second) != 1) {
                    continue;
                }
                const int across = std::abs(green(x + dx, y + dy) - green(x, y));
                const int beside =
                    std::max(std::abs(green(x, y) - green(x - dx, y - dy)),
                             std::abs(green(x + 2 * dx, y + 2 * dy) - green(x + dx, y + dy)));
                ++result.borders;
                const int excess = across - 2 * beside;
                result.largestExcess = std::max(result.largestExcess, excess);
                if (excess > SEAM_TOLERANCE) {
                    ++result.seams;
                }
            }
        }
    }
    return result;
}

// The range of the green lit at the four corners of cell (i, j) from
// their vertex normals.
std::pair<double, double> cornerLitRange(scene::Surface surface, int i, int j)
{
    const std::vector<float> grid = scene::gridCoordinates();
    double low = 1.0, high = 0.0;
    for (const int di : {0, 1}) {
        for (const int dj : {0, 1}) {
            const double lit =
                scene::litGreen(scene::vertexNormal(surface, grid[i + di], grid[j + dj]));
            low = std::min(low, lit);
            high = std::max(high, lit);
        }
    }
    return {low, high};
}

// Smooth shading interpolates the colours lit at the four corners from
// their vertex normals: inside a cell the green stays between the
// lightest and the darkest of its corners.
void expectShadesBetweenCorners(const LessonInfo& lesson)
{
    const Image image = picture(lesson);
    const scene::CellMap cells(lesson.surface, image.width(), image.height(), EDGE_MARGIN);
    std::size_t checked = 0, outside = 0;
    harness::forEachPixel(image.width(), image.height(), [&](int x, int y) {
        if (!cells.settled(x, y)) {
            return;
        }
        const auto [i, j] = cellIndices(cells.topCell(x, y));
        const auto [lowLit, highLit] = cornerLitRange(lesson.surface, i, j);
        const int low = scene::toLevel(lowLit), high = scene::toLevel(highLit);
        const Rgb colour = image.pixel(x, y);
        ++checked;
        if ((colour.g + LEVEL_TOLERANCE < low || colour.g > high + LEVEL_TOLERANCE) &&
            outside++ == 0) {
            ADD_FAILURE() << "(" << x << ", " << y << ") in cell (" << i << ", " << j << ") is "
                          << harness::toString(colour) << ", corners " << low << ".." << high;
        }
    });
    EXPECT_GT(checked, 10000u);
    EXPECT_EQ(outside, 0u) << outside << " of " << checked << " pixels; "
                           << gui::keepPicture(image, std::string(lesson.name) + "-corners");
}

// ---------------------------------------------------------------------------
// Helpers: the grid under the surface

bool isBlack(const Rgb& c)
{
    return c == BLACK;
}

// A grid line seen through lesson 6's surface: no red at all.
bool showsGridThroughSurface(const Rgb& c)
{
    return c.r <= GRID_RED_LIMIT && c.b <= GRID_RED_LIMIT;
}

// Points along every grid line of the plane z = 0, projected to the
// lessons' window; `outerOnly` keeps the two lines nearest the eye, at
// x = x1 and y = y1 of the last cells.
std::vector<scene::ScreenPoint> gridSamples(bool outerOnly)
{
    const std::vector<float> grid = scene::gridCoordinates();
    const double first = grid.front();
    const double last = grid.back();
    std::vector<scene::ScreenPoint> samples;
    for (const float g : grid) {
        if (outerOnly && g != grid.back()) {
            continue;
        }
        for (int k = 0; k <= SAMPLES_PER_LINE; ++k) {
            const double t = first + (last - first) * k / SAMPLES_PER_LINE;
            samples.push_back(scene::project({g, t, 0.0}, gui::WINDOW_SIZE, gui::WINDOW_SIZE));
            samples.push_back(scene::project({t, g, 0.0}, gui::WINDOW_SIZE, gui::WINDOW_SIZE));
        }
    }
    return samples;
}

// Whether every pixel within `radius` of the pixel lies inside the
// surface's outline (surrounded), or none is even possibly covered (clear;
// pixels off the window count as neither covered nor inside).
bool aroundSurface(const scene::CellMap& cells, int column, int row, int radius, bool surrounded)
{
    bool around = true;
    forEachNear(column, row, radius, [&](int x, int y) {
        const bool on = x >= 0 && y >= 0 && x < cells.width() && y < cells.height();
        around = around &&
                 !(surrounded ? !on || !cells.inOutline(x, y) : on && cells.possiblyCovered(x, y));
    });
    return around;
}

// ---------------------------------------------------------------------------
// Helpers: blending

// The pixel at the centre of cell (i, j).
std::pair<int, int> cellCentrePixel(scene::Surface surface, int i, int j)
{
    const std::vector<float> grid = scene::gridCoordinates();
    const double x = (grid[i] + grid[i + 1]) / 2;
    const double y = (grid[j] + grid[j + 1]) / 2;
    const scene::ScreenPoint p =
        scene::project({x, y, surface(x, y)}, gui::WINDOW_SIZE, gui::WINDOW_SIZE);
    return {static_cast<int>(p.column), static_cast<int>(p.row)};
}

void expectGreenBetween(const Rgb& colour, double low, double high, const std::string& where)
{
    EXPECT_GE(colour.g + LEVEL_TOLERANCE, scene::toLevel(low)) << where;
    EXPECT_LE(colour.g, scene::toLevel(high) + LEVEL_TOLERANCE) << where;
}

// ---------------------------------------------------------------------------
// Every lesson

class EveryLesson : public testing::TestWithParam<LessonInfo> {};

INSTANTIATE_TEST_SUITE_P(Lessons, EveryLesson, testing::ValuesIn(gui::ALL_LESSONS),
                         testing::PrintToStringParamName());

// The window: its title, the size the program asks for, and the
// toolkit's -geometry option reaching glutInit (the harness passes
// +0+0; here an odd offset shows it is really the option that counts).
TEST_P(EveryLesson, OpensItsTitledWindowWhereTheCommandLineSays)
{
    const LessonInfo& lesson = GetParam();
    {
        harness::Lesson running(gui::sharedDisplay(), {lesson.program});
        EXPECT_EQ(running.title(), lesson.title);
        EXPECT_EQ(running.size(), (harness::Size{gui::WINDOW_SIZE, gui::WINDOW_SIZE}));
        EXPECT_EQ(running.position().x, 0);
        EXPECT_EQ(running.position().y, 0);
        running.stop();
    }
    harness::LaunchOptions options(lesson.program);
    options.omitGeometry = true;
    options.arguments = {"-geometry", "+37+23"};
    harness::Lesson moved(gui::sharedDisplay(), options);
    EXPECT_EQ(moved.position().x, 37);
    EXPECT_EQ(moved.position().y, 23);
    EXPECT_EQ(moved.size(), (harness::Size{gui::WINDOW_SIZE, gui::WINDOW_SIZE}));
}

// White background in the corners, and wherever the model puts the
// surface a lit green: no red or blue at all (colour (0, 1, 0), white
// light, no specular part), except in lesson 6 where a quarter of the
// white behind the translucent surface shows equally in red and blue.
TEST_P(EveryLesson, DrawsALitGreenSurfaceOnWhite)
{
    const LessonInfo& lesson = GetParam();
    const Image image = picture(lesson);
    const int last = gui::WINDOW_SIZE - 1;
    for (const auto& corner : {std::pair<int, int>{0, 0}, {last, 0}, {0, last}, {last, last}}) {
        EXPECT_EQ(image.pixel(corner.first, corner.second), WHITE)
            << "corner (" << corner.first << ", " << corner.second << ")";
    }

    const scene::CellMap cells(lesson.surface, image.width(), image.height(), EDGE_MARGIN);
    const bool translucent = std::string(lesson.name) == "velmor6";
    std::size_t surface = 0, wrong = 0;
    harness::forEachPixel(image.width(), image.height(), [&](int x, int y) {
        if (cells.topCell(x, y) == scene::CellMap::NONE) {
            return;
        }
        ++surface;
        const Rgb c = image.pixel(x, y);
        // Lesson 6 may show black grid lines through the surface, so
        // there only red = blue and green above both is required.
        const bool ok = translucent ? (c.r == c.b && c.g > c.r && c.r <= ONE_LAYER_OVER_WHITE)
                                    : (c.r == 0 && c.b == 0 && c.g >= MIN_LIT_GREEN);
        if (!ok && wrong++ == 0) {
            ADD_FAILURE() << "(" << x << ", " << y << ") is " << harness::toString(c);
        }
    });
    // The surface covers about 48000 pixels; some 15000 of them lie at
    // least a pixel inside their quad whichever way it is split.
    EXPECT_GT(surface, 10000u);
    EXPECT_EQ(wrong, 0u) << wrong << " of " << surface << " surface pixels are not lit green; "
                         << gui::keepPicture(image, std::string(lesson.name) + "-surface");
}

// Nothing advances from one frame to the next: a repaint without a
// resize draws the very same picture.
TEST_P(EveryLesson, RepaintsTheSamePicture)
{
    const LessonInfo& lesson = GetParam();
    harness::Lesson running(gui::sharedDisplay(), {lesson.program});
    const Image first = running.capture();
    const unsigned frames = running.framesDrawn();
    running.repaint();
    running.repaint();
    EXPECT_GE(running.framesDrawn(), frames + 2);
    const Image again = running.capture();
    EXPECT_EQ(harness::countDifferentPixels(first, again), 0u)
        << gui::keepPicture(first, std::string(lesson.name) + "-before-repaint") << ", "
        << gui::keepPicture(again, std::string(lesson.name) + "-after-repaint");
}

// No timer, no idle work, no animation: once the window is drawn the
// program waits, and it keeps running until it is ended.
TEST_P(EveryLesson, DrawsOnlyWhenAsked)
{
    constexpr harness::Milliseconds QUIET(500);
    harness::Lesson running(gui::sharedDisplay(), {GetParam().program});
    running.repaint(); // past any frame the window's first appearance asks for
    const unsigned frames = running.framesDrawn();
    EXPECT_EQ(running.drainFrames(QUIET), frames);
    EXPECT_TRUE(running.running());
    const harness::ExitStatus status = running.stop();
    EXPECT_FALSE(running.running());
    // It has no handler of its own for SIGTERM.
    EXPECT_EQ(status.signal, SIGTERM) << status.describe();
}

// With the vertical field of view fixed, a pixel's offset from the centre
// depends on the window height alone.  A wider window of the same height
// therefore shows the same picture shifted by half the extra width, with
// white at the sides.
TEST_P(EveryLesson, WiderWindowOnlyAddsBackgroundAtTheSides)
{
    const LessonInfo& lesson = GetParam();
    constexpr int WIDE = 800;
    constexpr int SHIFT = (WIDE - gui::WINDOW_SIZE) / 2;
    const Image square = picture(lesson);
    const Image wide = picture(lesson, WIDE, gui::WINDOW_SIZE);
    ASSERT_EQ(wide.width(), WIDE);

    std::size_t different = 0, colouredSides = 0;
    harness::forEachPixel(WIDE, gui::WINDOW_SIZE, [&](int x, int y) {
        if (x < SHIFT || x >= SHIFT + gui::WINDOW_SIZE) {
            colouredSides += wide.pixel(x, y) != WHITE;
        } else if (wide.pixel(x, y) != square.pixel(x - SHIFT, y)) {
            ++different;
        }
    });
    const Box a = drawnBox(square), b = drawnBox(wide);
    EXPECT_EQ(colouredSides, 0u);
    EXPECT_LE(different, MAX_EDGE_FLIPS)
        << gui::keepPicture(square, std::string(lesson.name) + "-square") << ", "
        << gui::keepPicture(wide, std::string(lesson.name) + "-wide");
    // The peak and the lowest point stay on the same rows, and the width
    // in pixels is unchanged.
    EXPECT_NEAR(b.top, a.top, 1);
    EXPECT_NEAR(b.bottom, a.bottom, 1);
    EXPECT_NEAR(b.width(), a.width(), 1);
    EXPECT_NEAR(b.left, a.left + SHIFT, 1);
}

// A window of another height scales the whole picture with it, in both
// directions alike, about the window's centre.
TEST_P(EveryLesson, ShorterWindowScalesThePictureEvenly)
{
    const LessonInfo& lesson = GetParam();
    constexpr int WIDTH = 800;
    constexpr int HEIGHT = 400;
    constexpr double SCALE = static_cast<double>(HEIGHT) / gui::WINDOW_SIZE;
    // Box edges land on whole pixels: up to a pixel each way, plus the
    // scaled pixel of the original.
    constexpr double BOX_TOLERANCE = 2.0;
    const Box a = drawnBox(picture(lesson));
    const Box b = drawnBox(picture(lesson, WIDTH, HEIGHT));
    const auto scaled = [&](double offset, double centre, double newCentre) {
        return newCentre + (offset - centre) * SCALE;
    };
    const double centre = gui::WINDOW_SIZE / 2.0;
    EXPECT_NEAR(b.top, scaled(a.top, centre, HEIGHT / 2.0), BOX_TOLERANCE);
    EXPECT_NEAR(b.bottom, scaled(a.bottom, centre, HEIGHT / 2.0), BOX_TOLERANCE);
    EXPECT_NEAR(b.left, scaled(a.left, centre, WIDTH / 2.0), BOX_TOLERANCE);
    EXPECT_NEAR(b.right, scaled(a.right, centre, WIDTH / 2.0), BOX_TOLERANCE);
}

// The model's projection agrees with the program's: the surface's
// extreme points land where the camera puts them.  The peak's cap is the
// cell around the origin; the lowest point on screen is the near corner
// (x1, y1) of the last cell.
TEST_P(EveryLesson, SurfaceLiesWhereTheCameraPutsIt)
{
    const LessonInfo& lesson = GetParam();
    const scene::CellMap cells(lesson.surface, gui::WINDOW_SIZE, gui::WINDOW_SIZE, 0.0);
    const Box model = boxAround(gui::WINDOW_SIZE, gui::WINDOW_SIZE, [&](int x, int y) {
        return cells.topCell(x, y) != scene::CellMap::NONE;
    });
    const Image image = picture(lesson);
    // Lessons 5 and 6 also draw the grid, which reaches below the surface.
    const Box drawn = boxAround(gui::WINDOW_SIZE, gui::WINDOW_SIZE, [&](int x, int y) {
        const Rgb c = image.pixel(x, y);
        return c.g > c.r && c.g > MIN_LIT_GREEN / 2;
    });
    EXPECT_NEAR(drawn.top, model.top, 1);
    EXPECT_NEAR(drawn.bottom, model.bottom, 1);
    EXPECT_NEAR(drawn.left, model.left, 1);
    EXPECT_NEAR(drawn.right, model.right, 1);
}

// ---------------------------------------------------------------------------
// Shading

// Lesson 3: one normal per quad and flat shading paint each quad in one
// shade, the one its face normal gets from the light.
TEST(FlatShading, EveryQuadIsOneShadeSetByItsFaceNormal)
{
    const Image image = picture(gui::LESSON3);
    const scene::CellMap cells(scene::bump, image.width(), image.height(), EDGE_MARGIN);
    std::map<int, std::map<std::uint32_t, std::size_t>> colours;
    harness::forEachPixel(image.width(), image.height(), [&](int x, int y) {
        if (cells.settled(x, y)) {
            ++colours[cells.topCell(x, y)][packed(image.pixel(x, y))];
        }
    });
    const std::vector<int> predicted = flatLevels(scene::bump);
    std::size_t judged = 0;
    std::map<int, int> shade; // cell -> its green
    for (const auto& entry : colours) {
        std::size_t pixels = 0;
        for (const auto& [colour, count] : entry.second) {
            pixels += count;
        }
        if (pixels < MIN_PIXELS_PER_CELL) {
            continue;
        }
        ++judged;
        const auto [i, j] = cellIndices(entry.first);
        EXPECT_EQ(entry.second.size(), 1u)
            << "cell (" << i << ", " << j << ") shows " << entry.second.size() << " colours in "
            << pixels << " pixels well inside it";
        const int green = static_cast<int>(entry.second.begin()->first >> 8 & 0xff);
        shade[entry.first] = green;
        EXPECT_NEAR(green, predicted[static_cast<std::size_t>(entry.first)], LEVEL_TOLERANCE)
            << "cell (" << i << ", " << j << ")";
    }
    // Of the 784 cells some 285 show at least that many pixels; the
    // others are hidden behind the bump, seen edge-on, or small.
    EXPECT_GT(judged, 250u);

    // Facets: wherever the face normals of two neighbouring cells give
    // clearly different shades, the picture shows two shades.
    std::size_t pairs = 0;
    for (const auto& [cell, green] : shade) {
        const auto [i, j] = cellIndices(cell);
        for (const int other : {cell + 1, cell + gui::CELLS_PER_SIDE}) {
            const auto [k, l] = cellIndices(other);
            const auto found = shade.find(other);
            if (k >= gui::CELLS_PER_SIDE || l < j || found == shade.end() ||
                std::abs(predicted[static_cast<std::size_t>(cell)] -
                         predicted[static_cast<std::size_t>(other)]) <= 2 * LEVEL_TOLERANCE) {
                continue;
            }
            ++pairs;
            EXPECT_NE(green, found->second) << "cells (" << i << ", " << j << ") and (" << k << ", "
                                            << l << ") share one shade";
        }
    }
    EXPECT_GT(pairs, 200u);
    EXPECT_FALSE(HasFailure()) << gui::keepPicture(image, "velmor3-flat");
}

// Lesson 4 shades smoothly: across a cell border the colour changes no
// more than it does just beside the border, where lesson 3 jumps.
TEST(SmoothShading, ShowsNoSeamsAtCellBordersWhereFlatShadingDoes)
{
    const scene::CellMap cells(scene::bump, gui::WINDOW_SIZE, gui::WINDOW_SIZE, 0.0);
    const Image smooth = picture(gui::LESSON4);
    const Image flat = picture(gui::LESSON3);
    const BorderSteps smoothSteps = borderSteps(smooth, cells);
    const BorderSteps flatSteps = borderSteps(flat, cells);
    EXPECT_GT(smoothSteps.borders, 5000u);
    EXPECT_EQ(smoothSteps.seams, 0u) << "largest excess " << smoothSteps.largestExcess << "; "
                                     << gui::keepPicture(smooth, "velmor4-smooth");
    EXPECT_GT(flatSteps.seams, flatSteps.borders / 4);
}

TEST(SmoothShading, Lesson4ShadesBetweenItsCornerColours)
{
    expectShadesBetweenCorners(gui::LESSON4);
}

TEST(SmoothShading, Lesson5ShadesBetweenItsCornerColours)
{
    expectShadesBetweenCorners(gui::LESSON5);
}

// ---------------------------------------------------------------------------
// Lessons 5 and 6: the grid under the surface

// Lesson 5: the surface floats a unit above the grid, so from the eye the
// two near outer lines of the grid lie below the surface's near rims, in
// the open, and show black.
TEST(DomainGrid, ShowsBlackAroundTheSurface)
{
    const Image image = picture(gui::LESSON5);
    const scene::CellMap cells(scene::raisedBump, image.width(), image.height(), EDGE_MARGIN);
    std::size_t open = 0, missing = 0;
    for (const scene::ScreenPoint& p : gridSamples(true)) {
        const int column = static_cast<int>(p.column), row = static_cast<int>(p.row);
        if (!aroundSurface(cells, column, row, CLEARANCE, false)) {
            continue;
        }
        ++open;
        if (!anyNear(image, column, row, LINE_RADIUS, isBlack)) {
            ADD_FAILURE() << "no black grid line near (" << column << ", " << row << ")";
            if (++missing > 5) {
                break;
            }
        }
    }
    // The near outer lines run below the rim almost all along.
    EXPECT_GT(open, SAMPLES_PER_LINE);
    EXPECT_FALSE(HasFailure()) << gui::keepPicture(image, "velmor5-grid-around");
}

// Lesson 5 has no depth buffer, yet the grid is hidden wherever the
// surface lies in front of it: every surface quad in front of a grid line
// is drawn after that line.  So no grid pixel shows inside the surface.
// Lesson 6 draws the same lines under a translucent surface: there they
// show through, darkened to a green without any red.
TEST(DomainGrid, IsHiddenByTheOpaqueSurfaceAndShowsThroughTheTranslucentOne)
{
    const Image opaque = picture(gui::LESSON5);
    const Image translucent = picture(gui::LESSON6);
    const scene::CellMap cells(scene::raisedBump, opaque.width(), opaque.height(), EDGE_MARGIN);
    std::size_t covered = 0, shownInOpaque = 0, hiddenInTranslucent = 0;
    for (const scene::ScreenPoint& p : gridSamples(false)) {
        const int column = static_cast<int>(p.column), row = static_cast<int>(p.row);
        if (!aroundSurface(cells, column, row, CLEARANCE, true)) {
            continue;
        }
        ++covered;
        const auto dark = [](const Rgb& c) {
            return c.g < MIN_LIT_GREEN;
        };
        shownInOpaque += anyNear(opaque, column, row, LINE_RADIUS, dark) ? 1 : 0;
        hiddenInTranslucent +=
            anyNear(translucent, column, row, LINE_RADIUS, showsGridThroughSurface) ? 0 : 1;
    }
    EXPECT_GT(covered, 5000u);
    EXPECT_EQ(shownInOpaque, 0u) << gui::keepPicture(opaque, "velmor5-grid-hidden");
    EXPECT_EQ(hiddenInTranslucent, 0u) << gui::keepPicture(translucent, "velmor6-grid-through");

    // And the converse in lesson 6: wherever no red is left inside the
    // surface, a grid line lies behind.
    const auto lines = projectedGridLines();
    std::size_t stray = 0;
    harness::forEachPixel(translucent.width(), translucent.height(), [&](int x, int y) {
        if (cells.topCell(x, y) == scene::CellMap::NONE ||
            !showsGridThroughSurface(translucent.pixel(x, y))) {
            return;
        }
        double nearest = INFINITY;
        for (const auto& line : lines) {
            nearest = std::min(
                nearest, scene::distanceToSegment({x + 0.5, y + 0.5}, line.first, line.second));
        }
        if (nearest > LINE_RADIUS + 0.5 && stray++ < 5) {
            ADD_FAILURE() << "(" << x << ", " << y << ") shows a grid line where there is none";
        }
    });
    EXPECT_EQ(stray, 0u);
}

// ---------------------------------------------------------------------------
// Lesson 6: blending

// Where the translucent surface covers the white background once, the
// pixel is 0.75 x the lit green + 0.25 x white.  The near left corner of
// the surface is such a place: seen from the eye nothing lies in front of
// it, and the view behind it misses the grid and the rest of the surface.
TEST(Transparency, OneLayerOverWhiteIsThreeQuartersLitGreenAndAQuarterWhite)
{
    const Image opaque = picture(gui::LESSON5);
    const Image translucent = picture(gui::LESSON6);

    // The cell one step in from the corner (x1 = 4.66, y = -5).  The lit
    // green of its centre lies between its corners' (they differ by a
    // level or so near the rim).
    const int i = gui::CELLS_PER_SIDE - 2, j = 1;
    const auto [low, high] = cornerLitRange(scene::raisedBump, i, j);
    const auto [column, row] = cellCentrePixel(scene::raisedBump, i, j);
    const std::string where = "at (" + std::to_string(column) + ", " + std::to_string(row) + ")";
    const Rgb shown = translucent.pixel(column, row);
    EXPECT_NEAR(shown.r, ONE_LAYER_OVER_WHITE, LEVEL_TOLERANCE) << where;
    EXPECT_NEAR(shown.b, ONE_LAYER_OVER_WHITE, LEVEL_TOLERANCE) << where;
    const auto blended = [](double lit) {
        return SURFACE_ALPHA * lit + (1.0 - SURFACE_ALPHA);
    };
    expectGreenBetween(shown, blended(low), blended(high), where);
    expectGreenBetween(opaque.pixel(column, row), low, high, where + " in lesson 5");

    // Everywhere else alike: lesson 5 draws the same surface opaque, so
    // its pixel is the lit green of the same point.
    const scene::CellMap cells(scene::raisedBump, opaque.width(), opaque.height(), EDGE_MARGIN);
    std::size_t compared = 0, off = 0;
    harness::forEachPixel(opaque.width(), opaque.height(), [&](int x, int y) {
        const Rgb a = opaque.pixel(x, y), b = translucent.pixel(x, y);
        if (!cells.settled(x, y) || std::abs(b.r - ONE_LAYER_OVER_WHITE) > LEVEL_TOLERANCE ||
            b.b != b.r) {
            return;
        }
        ++compared;
        const double expected = SURFACE_ALPHA * a.g + (1.0 - SURFACE_ALPHA) * 255.0;
        if (std::abs(b.g - expected) > LEVEL_TOLERANCE && off++ < 5) {
            ADD_FAILURE() << "(" << x << ", " << y << ") is " << harness::toString(b)
                          << " over the lit " << harness::toString(a) << ", expected green "
                          << expected;
        }
    });
    EXPECT_GT(compared, 5000u);
    EXPECT_EQ(off, 0u);
}

// Each translucent layer lets a quarter of what lies behind it show: over
// the white background red and blue are 255 x 0.25^n after n layers (64,
// 16, 4, 1), however many layers the model counts at the pixel.
TEST(Transparency, EachLayerPassesAQuarterOfWhatLiesBehind)
{
    const Image image = picture(gui::LESSON6);
    const scene::CellMap cells(scene::raisedBump, image.width(), image.height(), EDGE_MARGIN);
    std::map<int, std::size_t> counted; // layers -> pixels
    std::size_t wrong = 0;
    harness::forEachPixel(image.width(), image.height(), [&](int x, int y) {
        const Rgb c = image.pixel(x, y);
        const int layers = cells.layers(x, y);
        // A grid line behind the layers leaves no red at all.
        if (layers == 0 || !cells.clean(x, y) || showsGridThroughSurface(c)) {
            return;
        }
        ++counted[layers];
        const int expected = static_cast<int>(std::lround(255.0 * std::pow(0.25, layers)));
        if ((std::abs(c.r - expected) > LEVEL_TOLERANCE || c.b != c.r) && wrong++ < 5) {
            ADD_FAILURE() << "(" << x << ", " << y << ") is " << harness::toString(c) << " under "
                          << layers << " layers, expected red and blue " << expected;
        }
    });
    EXPECT_EQ(wrong, 0u);
    // One layer over most of the surface (6370 pixels the model is sure
    // of), two over the bump, whose far side the view leaves through
    // (1224).  Three layers, where the far rim lies behind the bump, show
    // red 4 in the picture, but there the far slope is seen edge-on and
    // the model is never sure of every layer.
    EXPECT_GT(counted[1], 5000u);
    EXPECT_GT(counted[2], 1000u);
    EXPECT_FALSE(HasFailure()) << gui::keepPicture(image, "velmor6-layers");
}

// Where the view passes through the surface twice, the nearer layer
// (visited later) is blended over the farther one.  Lesson 5 shows the
// nearer layer's own lit green at the same pixel; the farther layer's
// lies between its cell's corners.  The other order would give
// 0.5625 x (near - far) more green, which the check tells apart wherever
// the two layers are lit differently.
TEST(Transparency, TheNearerLayerIsBlendedOverTheFartherOne)
{
    const Image opaque = picture(gui::LESSON5);
    const Image translucent = picture(gui::LESSON6);
    const scene::CellMap cells(scene::raisedBump, opaque.width(), opaque.height(), EDGE_MARGIN);
    const auto over = [](double top, double below) {
        return SURFACE_ALPHA * top + (1.0 - SURFACE_ALPHA) * below;
    };
    std::size_t compared = 0, telling = 0, wrong = 0;
    harness::forEachPixel(opaque.width(), opaque.height(), [&](int x, int y) {
        const Rgb shown = translucent.pixel(x, y);
        if (cells.layers(x, y) != 2 || !cells.clean(x, y) || showsGridThroughSurface(shown)) {
            return;
        }
        const auto [i, j] = cellIndices(cells.cellUnderTop(x, y));
        const auto [farLow, farHigh] = cornerLitRange(scene::raisedBump, i, j);
        const double near = opaque.pixel(x, y).g / 255.0;
        const int low = scene::toLevel(over(near, over(farLow, 1.0))) - LEVEL_TOLERANCE;
        const int high = scene::toLevel(over(near, over(farHigh, 1.0))) + LEVEL_TOLERANCE;
        ++compared;
        const double reversedLow = over(farLow, over(near, 1.0));
        const double reversedHigh = over(farHigh, over(near, 1.0));
        telling += scene::toLevel(reversedHigh) < low || scene::toLevel(reversedLow) > high;
        if ((shown.g < low || shown.g > high) && wrong++ < 5) {
            ADD_FAILURE() << "(" << x << ", " << y << ") is " << harness::toString(shown)
                          << ", expected green " << low << ".." << high << " for the near "
                          << harness::toString(opaque.pixel(x, y)) << " over cell (" << i << ", "
                          << j << ")";
        }
    });
    EXPECT_EQ(wrong, 0u) << gui::keepPicture(translucent, "velmor6-two-layers");
    // 1224 pixels, of which 1216 would come out wrong in the other order.
    EXPECT_GT(compared, 1000u);
    EXPECT_GT(telling, compared / 2);
}

} // namespace
