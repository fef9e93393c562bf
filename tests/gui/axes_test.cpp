// axes_test.cpp - lessons 10 and 11 with the camera going round the
// surface, read from what the programs hand to OpenGL (recorded with
// apitrace) and what their windows show: the axes stand on the edges
// beside the surface, every label stands at a tick of its own value or
// by its axis, no two labels overlap, and the pick finds the surface
// exactly where the frame shows it.
#include "glyphs.h"
#include "gui_support.h"
#include "pick.h"
#include "trace.h"

#include <GL/gl.h>
#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The lessons' vertex: position, normal, level.
constexpr std::size_t VERTEX_FLOATS = 7;
// A glyph's corner: window pixels, then atlas pixels; six a glyph.
constexpr std::size_t CORNER_FLOATS = 4;
constexpr std::size_t CORNERS_PER_GLYPH = 6;
// The drawn heights f is fitted into, and the key's strip in the
// window's coordinates, from the lessons.
constexpr double LOWEST_DRAWN = 1.0;
constexpr double HIGHEST_DRAWN = 6.0;
constexpr double KEY_BOTTOM = -0.8;
constexpr double KEY_TOP = 0.8;
// A number starts a few pixels beyond the end of its tick (measured
// farthest: 6 pixels); an axis's name beyond the tick and the numbers
// there, from the middle of its axis (48 pixels).  A label whose place
// is out of the window is moved into it: both are measured from the
// point of the window nearest that place.
constexpr double NUMBER_REACH = 9.0;
constexpr double NAME_REACH = 60.0;

struct Frame {
    glm::dmat4 projection{1.0}, view{1.0};
    std::vector<float> axes;   // the axes' and key's lines, as vertices
    int keyMarksFrom = 0;      // where the key's ticks start among them
    std::vector<float> glyphs; // the labels' glyph corners
};

struct Recording {
    std::vector<Frame> frames;
    std::vector<float> vertices; // the buffer of the grid, key and surface
    std::string said;
};

std::vector<float> floatsOf(const harness::TraceValue& blob)
{
    std::vector<float> floats(blob.text.size() / sizeof(float));
    std::memcpy(floats.data(), blob.text.data(), floats.size() * sizeof(float));
    return floats;
}

// Runs the lesson under apitrace, sends each input in turn and keeps the
// frame each leaves on the screen (with the number of frames drawn by
// then); returns every frame drawn, as the lesson handed it to OpenGL.
Recording traceRun(const char* program, const std::vector<std::vector<std::string>>& inputs,
                   std::vector<std::pair<unsigned, harness::Image>>* shown = nullptr)
{
    Recording run;
    const std::vector<harness::TraceCall> calls =
        harness::recordTrace(gui::sharedDisplay(), program, [&](harness::Lesson& lesson) {
            for (const std::vector<std::string>& input : inputs) {
                lesson.sendInput(input);
                if (shown != nullptr) {
                    shown->push_back({lesson.framesDrawn(), lesson.capture()});
                }
            }
            run.said = lesson.output();
        });
    Frame frame;
    int matrices = 0, subData = 0;
    for (const harness::TraceCall& call : calls) {
        if (call.name == "glBufferData" && run.vertices.empty() &&
            call.argument("data").kind == harness::TraceValue::Kind::Text) {
            run.vertices = floatsOf(call.argument("data"));
        } else if (call.name == "glUniformMatrix4fv") {
            glm::dmat4& m = matrices++ % 2 == 0 ? frame.projection : frame.view;
            const std::vector<harness::TraceValue>& value = call.argument("value").asList();
            for (int k = 0; k < 16; ++k) {
                m[k / 4][k % 4] = value.at(static_cast<std::size_t>(k)).asDouble();
            }
        } else if (call.name == "glBufferSubData") {
            (subData++ % 2 == 0 ? frame.axes : frame.glyphs) = floatsOf(call.argument("data"));
        } else if (call.name == "glDrawArrays" && call.argument("mode").asInt() == GL_LINES &&
                   call.argument("first").asInt() == 0 && !frame.axes.empty()) {
            frame.keyMarksFrom = static_cast<int>(call.argument("count").asInt());
        } else if (call.name == "glXSwapBuffers") {
            run.frames.push_back(frame);
            frame.axes.clear();
        }
    }
    return run;
}

// Where a point of the scene lands in the window, in pixels from its
// bottom left corner.
glm::dvec2 onScreen(const Frame& frame, const glm::dvec3& p)
{
    const glm::dvec4 clip = frame.projection * frame.view * glm::dvec4(p, 1.0);
    return {(clip.x / clip.w + 1.0) * 0.5 * gui::WINDOW_SIZE,
            (clip.y / clip.w + 1.0) * 0.5 * gui::WINDOW_SIZE};
}

struct Label {
    std::string text;
    double left = 1e9, bottom = 1e9, right = -1e9, top = -1e9; // the glyphs' ink
};

double distance(const Label& l, glm::dvec2 p)
{
    p = glm::clamp(p, 0.0, double(gui::WINDOW_SIZE));
    const double dx = std::max({l.left - p.x, 0.0, p.x - l.right});
    const double dy = std::max({l.bottom - p.y, 0.0, p.y - l.top});
    return std::hypot(dx, dy);
}

// The labels of a frame: each glyph known by its place in the atlas, and
// a glyph that starts where the one before it moved the pen to, on the
// same baseline, is the next of the same label.
std::vector<Label> labelsOf(const Frame& frame)
{
    std::vector<Label> labels;
    double pen = 0.0, baseline = 0.0;
    for (std::size_t at = 0; at + CORNERS_PER_GLYPH * CORNER_FLOATS <= frame.glyphs.size();
         at += CORNERS_PER_GLYPH * CORNER_FLOATS) {
        const float* c = &frame.glyphs[at];
        // Corners 0 and 2 are the quad's lower left and upper right.
        const float x0 = c[0], y0 = c[1], x1 = c[8], y1 = c[9];
        const float u0 = c[2], v1 = c[3], u1 = c[10], v0 = c[11];
        int code = FIRST_GLYPH;
        for (int k = FIRST_GLYPH; k <= LAST_GLYPH; ++k) {
            const Glyph& g = GLYPH_ATLAS.glyphs[k - FIRST_GLYPH];
            if (g.x0 == u0 && g.x1 == u1 && g.y0 == v0 && g.y1 == v1) {
                code = k;
                break;
            }
        }
        const Glyph& g = GLYPH_ATLAS.glyphs[code - FIRST_GLYPH];
        const double start = x0 - g.left, line = y1 + g.top;
        if (labels.empty() || std::fabs(start - pen) > 1.0 || std::fabs(line - baseline) > 1.0) {
            labels.emplace_back();
        }
        Label& l = labels.back();
        l.text += static_cast<char>(code);
        if (x1 > x0) {
            l.left = std::min<double>(l.left, x0), l.right = std::max<double>(l.right, x1);
            l.bottom = std::min<double>(l.bottom, y0), l.top = std::max<double>(l.top, y1);
        }
        pen = start + g.advance;
        baseline = line;
    }
    return labels;
}

// A tick's value, the window point its label goes beside, and its axis.
struct Tick {
    double value;
    glm::dvec2 end;
    char axis; // 'x', 'y', 'f' or 'k' for the key
};

// The f the lesson said its lowest and highest values were.
double saidValue(const std::string& said, const std::string& before)
{
    const std::size_t at = said.find(before);
    return at == std::string::npos ? NAN : std::strtod(said.c_str() + at + before.size(), nullptr);
}

} // namespace

// Lesson 10 turned round the surface in 36 steps of 10 degrees, at the
// start's elevation and at the highest the camera goes, where f's axis
// is seen almost end on and its numbers crowd each other.  In every
// frame: x lies along the side of the square nearer the eye, y along
// the other near side, and f up a corner beside the surface (neither the
// one nearest the eye, in front of it, nor the farthest, behind it);
// every number stands at the outer end of a tick with its value, the
// key's included, each name by its axis, at least two numbers on each
// axis, and no label's glyphs overlap another's.
TEST(Lesson10Axes, LabelsStandAtTheirAxesAndNeverOverlapAllRoundTheSurface)
{
    std::vector<std::vector<std::string>> inputs;
    for (int step = 0; step < 36; ++step) {
        inputs.push_back(gui::press("Right", 2));
    }
    inputs.push_back(gui::press("Up", 20));
    for (int step = 0; step < 36; ++step) {
        inputs.push_back(gui::press("Left", 2));
    }
    const Recording run = traceRun(VELMOR10_PROGRAM, inputs);
    const double low = saidValue(run.said, "the lowest value on the grid, f = ");
    const double high = saidValue(run.said, "the highest, f = ");
    ASSERT_TRUE(low < high) << run.said;
    const auto fAt = [&](double level) {
        return low + level * (high - low);
    };

    std::vector<glm::dvec3> eyes;
    for (std::size_t n = 0; n < run.frames.size(); ++n) {
        const Frame& frame = run.frames[n];
        const glm::dmat4 toScene = glm::inverse(frame.view);
        const glm::dvec3 eye = glm::dvec3(toScene[3]);
        if (eyes.empty() || glm::distance(eyes.back(), eye) > 1e-6) {
            eyes.push_back(eye);
        }
        const std::string where = "frame " + std::to_string(n) + ", eye (" + std::to_string(eye.x) +
                                  ", " + std::to_string(eye.y) + ", " + std::to_string(eye.z) + ")";

        // The lines, two vertices each: the axes are the long ones, the
        // ticks the short ones; the key's marks are in the window's
        // coordinates.
        std::vector<Tick> ticks;
        glm::dvec3 xAxis[2], yAxis[2], fAxis[2];
        for (int v = 0; v + 1 < frame.keyMarksFrom; v += 2) {
            const float* a = &frame.axes[static_cast<std::size_t>(v) * VERTEX_FLOATS];
            const float* b = a + VERTEX_FLOATS;
            const glm::dvec3 p(a[0], a[1], a[2]), q(b[0], b[1], b[2]);
            const glm::dvec3 d = q - p;
            if (glm::length(d) > 1.0) {
                glm::dvec3* axis = d.x != 0.0 ? xAxis : d.y != 0.0 ? yAxis : fAxis;
                axis[0] = p, axis[1] = q;
            } else {
                const bool f = p.z != 0.0;
                const char axis = f ? 'f' : d.y != 0.0 ? 'x' : 'y';
                const double value = f ? fAt((p.z - LOWEST_DRAWN) / (HIGHEST_DRAWN - LOWEST_DRAWN))
                                     : axis == 'x' ? p.x
                                                   : p.y;
                ticks.push_back({value, onScreen(frame, q), axis});
            }
        }
        for (int v = frame.keyMarksFrom;
             v + 1 < static_cast<int>(frame.axes.size() / VERTEX_FLOATS); v += 2) {
            const float* a = &frame.axes[static_cast<std::size_t>(v) * VERTEX_FLOATS];
            const double level = (a[1] - KEY_BOTTOM) / (KEY_TOP - KEY_BOTTOM);
            ticks.push_back(
                {fAt(level),
                 {(a[0] + 1.0) * 0.5 * gui::WINDOW_SIZE, (a[1] + 1.0) * 0.5 * gui::WINDOW_SIZE},
                 'k'});
        }

        // The edges, from the eye.
        const double nearX = eye.x >= 0.0 ? GRID_MAX : GRID_MIN;
        const double nearY = eye.y >= 0.0 ? GRID_MAX : GRID_MIN;
        EXPECT_EQ(xAxis[0].y, nearY) << where;
        EXPECT_EQ(yAxis[0].x, nearX) << where;
        EXPECT_NE(fAxis[0].x == nearX, fAxis[0].y == nearY)
            << where << ": f stands at (" << fAxis[0].x << ", " << fAxis[0].y << ")";

        // The labels.
        const std::vector<Label> labels = labelsOf(frame);
        int numbers[4] = {0, 0, 0, 0};
        for (const Label& label : labels) {
            const glm::dvec3 nameAt = label.text == "x"   ? (xAxis[0] + xAxis[1]) / 2.0
                                      : label.text == "y" ? (yAxis[0] + yAxis[1]) / 2.0
                                                          : glm::max(fAxis[0], fAxis[1]);
            if (label.text == "x" || label.text == "y" || label.text == "f(x, y)") {
                EXPECT_LE(distance(label, onScreen(frame, nameAt)), NAME_REACH)
                    << where << ": the name " << label.text;
                continue;
            }
            char* end = nullptr;
            const double number = std::strtod(label.text.c_str(), &end);
            ASSERT_TRUE(!label.text.empty() && *end == '\0') << where << ": '" << label.text << "'";
            const Tick* nearest = nullptr;
            for (const Tick& tick : ticks) {
                if (std::fabs(tick.value - number) <= 1e-4 * (high - low) + 1e-9 &&
                    (nearest == nullptr ||
                     distance(label, tick.end) < distance(label, nearest->end))) {
                    nearest = &tick;
                }
            }
            ASSERT_NE(nearest, nullptr) << where << ": no tick has the value " << label.text;
            EXPECT_LE(distance(label, nearest->end), NUMBER_REACH) << where << ": " << label.text;
            ++numbers[std::string("xyfk").find(nearest->axis)];
        }
        for (int axis = 0; axis < 4; ++axis) {
            EXPECT_GE(numbers[axis], 2) << where << ": axis "
                                        << "xyfk"[axis];
        }
        for (std::size_t i = 0; i < labels.size(); ++i) {
            for (std::size_t j = i + 1; j < labels.size(); ++j) {
                const Label &a = labels[i], &b = labels[j];
                EXPECT_FALSE(a.left < b.right && b.left < a.right && a.bottom < b.top &&
                             b.bottom < a.top)
                    << where << ": '" << a.text << "' overlaps '" << b.text << "'";
            }
        }
    }
    EXPECT_GE(eyes.size(), 72u);
}

// Lesson 11 from four cameras: a pixel the frame shows as background
// (white, as all its neighbours) is one whose line of sight meets no
// triangle of the surface, picked as the lesson picks, on the very
// vertices and matrices it drew that frame with; a pixel showing the
// surface (coloured, as all its neighbours; the key's strip aside) is
// one where it meets one.  Neighbours are asked too, as at a surface's
// edge the rasteriser and the pick may round a pixel's centre apart.
TEST(Lesson11Pick, FindsTheSurfaceExactlyWhereTheFrameShowsIt)
{
    const std::vector<std::vector<std::string>> inputs = {
        gui::press("Right", 9), gui::press("Right", 18), gui::press("Down", 4),
        gui::press("Right", 27)};
    std::vector<std::pair<unsigned, harness::Image>> shown;
    const Recording run = traceRun(VELMOR11_PROGRAM, inputs, &shown);
    const std::size_t points = (gui::CELLS_PER_SIDE + 1) * (gui::CELLS_PER_SIDE + 1);
    const std::size_t vertices = run.vertices.size() / VERTEX_FLOATS;
    ASSERT_GE(vertices, points);
    GridPoints grid;
    grid.cells = gui::CELLS_PER_SIDE;
    grid.first =
        reinterpret_cast<const Float3*>(&run.vertices[(vertices - points) * VERTEX_FLOATS]);
    grid.stride = VERTEX_FLOATS * sizeof(float);
    // The key's strip starts at 0.92 of the way across the window's
    // coordinates (-1 to 1): its columns show colour but no surface.
    const int keyColumn = static_cast<int>(0.95 * gui::WINDOW_SIZE);

    for (const auto& [drawn, picture] : shown) {
        ASSERT_LE(drawn, run.frames.size());
        const Frame& frame = run.frames[drawn - 1];
        const glm::dmat4 toScene = glm::inverse(frame.projection * frame.view);
        const auto kind = [&](int x, int y) { // 0 background, 1 surface, 2 other
            const harness::Rgb c = picture.pixel(x, y);
            return c == harness::Rgb{255, 255, 255} ? 0 : c.r == c.g && c.g == c.b ? 2 : 1;
        };
        std::size_t counted[2] = {0, 0}, wrong[2] = {0, 0};
        for (int y = 1; y + 1 < picture.height(); ++y) {
            for (int x = 1; x + 1 < keyColumn; ++x) {
                const int k = kind(x, y);
                bool alike = k != 2;
                for (int n = 0; n < 9 && alike; ++n) {
                    alike = kind(x + n % 3 - 1, y + n / 3 - 1) == k;
                }
                if (!alike) {
                    continue;
                }
                const double ndcX = (x + 0.5) / picture.width() * 2.0 - 1.0;
                const double ndcY = 1.0 - (y + 0.5) / picture.height() * 2.0;
                const bool hit =
                    pickSurface(grid, pixelRay(glm::value_ptr(toScene), ndcX, ndcY)).found;
                ++counted[k];
                wrong[k] += hit != (k == 1);
            }
        }
        const std::string name = "velmor11-pick-" + std::to_string(drawn);
        EXPECT_EQ(wrong[0], 0u) << "background pixels with a hit; "
                                << gui::keepPicture(picture, name);
        EXPECT_EQ(wrong[1], 0u) << "surface pixels with no hit; "
                                << gui::keepPicture(picture, name);
        EXPECT_GT(counted[0], 20000u);
        EXPECT_GT(counted[1], 20000u);
    }
}
