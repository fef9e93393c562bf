// trace_test.cpp - the OpenGL calls of the real lesson processes, recorded
// with apitrace on a private Xvfb and compared call by call with what
// each lesson is meant to draw.
//
// Each lesson is run once per test: it draws its first frame (with the
// reshape for 500 x 500), is asked to repaint (a frame with no reshape),
// is resized to 700 x 300 (a frame with another reshape, perhaps one more
// for the Expose that comes with growing wider, and the harness's own
// repaint after a resize) and is closed like a window manager closes it,
// so that the tracer writes its file.
//
// What a frame holds besides the lesson's own calls, as recorded:
//   - glXMakeContextCurrent, before the display routine: freeglut makes
//     the window's context current before it calls back;
//   - glFlush right before glXSwapBuffers: freeglut's glutSwapBuffers
//     flushes before it swaps.
// Neither is the lesson's; a frame's count is the lesson's calls from
// glClearColor on, plus the one glXSwapBuffers.  A glFlush of the
// lesson's own would show as a second glFlush and fail the count.
#include "gui_support.h"
#include "test_floats.h"
#include "trace.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>

namespace {

using gui::LessonInfo;
using harness::TraceCall;

// The size the resized window gets: its aspect 7/3 is not a float, so the
// projection shows whether it was divided in single precision.
constexpr int RESIZED_WIDTH = 700;
constexpr int RESIZED_HEIGHT = 300;

// Calls per frame: the lesson's own, with the swap.
const std::map<std::string, std::size_t> FRAME_CALLS = {
    {"velmor3", 6281}, {"velmor4", 7850}, {"velmor5", 15688}, {"velmor6", 15690}};

constexpr int CELLS = gui::CELLS_PER_SIDE;

// Heights: x*x + y*y, / -5 and the products are IEEE float operations the
// reference repeats exactly; only expf differs.  glibc's expf is within
// one ulp of the true value, the product by 8 is exact, and the product
// by 7 and the sum with 1 round once more each.  The reference takes
// exp in double.  (Measured: at most 0.498 ulp for bumpHeight, so expf
// came out correctly rounded at every grid point, and 0.877 ulp for
// raisedBumpHeight.)
constexpr double HEIGHT_ULPS = 2.0;

// A smoothed normal also rests on the heights of the four neighbours,
// which the trace does not record, and on differences of heights: each
// height may be an ulp or two (2^-21 near the peak of 8) off the exact
// value, which moves the normal by about as much.  Absolute, in units of
// the normal's length 1.
// Measured: at most 4.2e-7.
constexpr double VERTEX_NORMAL_TOLERANCE = 2e-6;

// The first cell's flat normal, for a plain sanity check.
constexpr double FIRST_NORMAL_XY = -0.001;
constexpr double FIRST_NORMAL_TOLERANCE = 1e-4;

// GLU builds gluLookAt's matrix in float, gluPerspective's in double.
constexpr double LOOK_AT_ULPS = 2.0;
constexpr double PERSPECTIVE_ULPS = 2.0;

// ---------------------------------------------------------------------------
// Float helpers

// How many ulps of T (at the value's own scale) value is from reference.
template <typename T> double ulpsOff(T value, double reference)
{
    const T scale = std::abs(static_cast<T>(reference));
    const double ulp = std::nextafter(scale, static_cast<T>(INFINITY)) - scale;
    return std::abs(static_cast<double>(value) - reference) / ulp;
}

// ---------------------------------------------------------------------------
// Recording

// The calls of each frame: after the previous swap up to and including
// its own glXSwapBuffers.
using Recording = std::vector<std::vector<TraceCall>>;

// Runs the lesson under apitrace through the three frames described at
// the top, and reads the trace.
Recording record(const LessonInfo& lesson)
{
    Recording frames(1);
    for (TraceCall& call :
         harness::recordTrace(gui::sharedDisplay(), lesson.program, [](harness::Lesson& traced) {
             traced.repaint();
             traced.resize(RESIZED_WIDTH, RESIZED_HEIGHT);
             const harness::ExitStatus status = traced.close();
             EXPECT_TRUE(status.exited && status.code == 0)
                 << "closing the window should end the program normally, it ended with "
                 << status.describe() << "; output:\n"
                 << traced.output();
         })) {
        frames.back().push_back(std::move(call));
        if (frames.back().back().name == "glXSwapBuffers") {
            frames.emplace_back();
        }
    }
    frames.pop_back(); // what comes after the last swap
    return frames;
}

// The lesson's part of a frame: from its first call, glClearColor, to the
// swap, less freeglut's glFlush just before it.
std::vector<TraceCall> displayCalls(const std::vector<TraceCall>& frame)
{
    std::size_t first = 0;
    while (first < frame.size() && frame[first].name != "glClearColor") {
        ++first;
    }
    std::vector<TraceCall> result(frame.begin() + static_cast<long>(first), frame.end());
    if (result.size() >= 2 && result[result.size() - 2].name == "glFlush") {
        result.erase(result.end() - 2);
    }
    return result;
}

// ---------------------------------------------------------------------------
// Reading a frame call by call

struct Float3 {
    float x, y, z;
};

// The corners of a cell in the order the lessons draw them: c00, c10, c11, c01.
constexpr int CORNER[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

struct Quad {
    int i = 0, j = 0;        // grid indices of the cell
    Float3 vertices[4] = {}; // c00, c10, c11, c01
    Float3 normals[4] = {};  // one per vertex; a flat quad repeats its one
    bool outline = false;    // the grid outline at z = 0
};

// Walks the lesson's calls in order and remembers the first call that is
// not what it should be.
class FrameReader {
  public:
    explicit FrameReader(const std::vector<TraceCall>& calls) : calls_(calls) {}

    bool ok() const
    {
        return failure_.empty();
    }
    const std::string& failure() const
    {
        return failure_;
    }
    std::size_t position() const
    {
        return position_;
    }

    // The next call, which must have this name and these integer
    // arguments (enumerants, bit masks, ints).
    const TraceCall* call(const char* name, std::vector<std::int64_t> integers = {})
    {
        if (!ok()) {
            return nullptr;
        }
        if (position_ >= calls_.size()) {
            fail(std::string("the frame ends where ") + name + " should come");
            return nullptr;
        }
        const TraceCall& c = calls_[position_];
        if (c.name != name || c.arguments.size() < integers.size()) {
            fail(std::string("expected ") + name + ", found " + c.describe());
            return nullptr;
        }
        for (std::size_t k = 0; k < integers.size(); ++k) {
            if (c.argument(k).asInt() != integers[k]) {
                fail(std::string("expected ") + name + " with argument " + std::to_string(k + 1) +
                     " = " + std::to_string(integers[k]) + ", found " + c.describe());
                return nullptr;
            }
        }
        ++position_;
        return &c;
    }

    // The next call, with float arguments exactly these.
    void floats(const char* name, std::vector<float> values)
    {
        const TraceCall* c = call(name);
        if (c == nullptr) {
            return;
        }
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (bitsOf(c->argument(k).asFloat()) != bitsOf(values[k])) {
                --position_;
                fail(std::string("expected ") + name + " with argument " + std::to_string(k + 1) +
                     " = " + std::to_string(values[k]) + ", found " + c->describe());
                return;
            }
        }
    }

    Float3 float3(const char* name)
    {
        const TraceCall* c = call(name);
        if (c == nullptr) {
            return {};
        }
        return {c->argument(0).asFloat(), c->argument(1).asFloat(), c->argument(2).asFloat()};
    }

    void fail(const std::string& what)
    {
        if (failure_.empty()) {
            failure_ = "call " + std::to_string(position_ + 1) + " of the frame: " + what;
        }
    }

  private:
    const std::vector<TraceCall>& calls_;
    std::size_t position_ = 0;
    std::string failure_;
};

void readBeginFrame(FrameReader& reader, GLenum shadeModel)
{
    reader.floats("glClearColor", {1.0f, 1.0f, 1.0f, 1.0f});
    reader.call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
    reader.call("glShadeModel", {shadeModel});
    reader.call("glEnable", {GL_LIGHTING});
    reader.call("glEnable", {GL_LIGHT0});
    const TraceCall* light = reader.call("glLightfv", {GL_LIGHT0, GL_POSITION});
    if (light != nullptr) {
        std::vector<std::uint32_t> position;
        for (const harness::TraceValue& value : light->argument(2).asList()) {
            position.push_back(bitsOf(value.asFloat()));
        }
        if (position != std::vector<std::uint32_t>{bitsOf(1.0f), bitsOf(1.0f), bitsOf(1.0f), 0}) {
            reader.fail("light 0 should be at (1, 1, 1, 0): " + light->describe());
        }
    }
    reader.call("glEnable", {GL_COLOR_MATERIAL});
}

// glBegin(GL_QUADS), four vertices each after its own normal (or after
// one shared normal, or without any), glEnd.
enum class Normals { PerVertex, OnePerQuad, None };

void readQuad(FrameReader& reader, Quad& quad, Normals normals)
{
    reader.call("glBegin", {GL_QUADS});
    if (normals == Normals::OnePerQuad) {
        const Float3 n = reader.float3("glNormal3f");
        std::fill(std::begin(quad.normals), std::end(quad.normals), n);
    }
    for (int k = 0; k < 4; ++k) {
        if (normals == Normals::PerVertex) {
            quad.normals[k] = reader.float3("glNormal3f");
        }
        quad.vertices[k] = reader.float3("glVertex3f");
    }
    reader.call("glEnd");
}

// Reads a whole display routine's calls into quads, per the lesson.
// `failure` names the first call that is not the lesson's, or is empty.
std::vector<Quad> readLessonFrame(const LessonInfo& lesson, const std::vector<TraceCall>& calls,
                                  std::string& failure)
{
    FrameReader reader(calls);
    const std::string name = lesson.name;
    std::vector<Quad> quads;
    const auto surface = [&](int i, int j, Normals normals) {
        quads.push_back({i, j});
        readQuad(reader, quads.back(), normals);
    };
    const auto outline = [&](int i, int j) {
        reader.call("glPolygonMode", {GL_FRONT_AND_BACK, GL_LINE});
        reader.floats("glColor3f", {0.0f, 0.0f, 0.0f});
        quads.push_back({i, j});
        quads.back().outline = true;
        readQuad(reader, quads.back(), Normals::None);
    };

    readBeginFrame(reader, name == "velmor3" ? GL_FLAT : GL_SMOOTH);
    if (name == "velmor3") {
        reader.floats("glColor3f", {0.0f, 1.0f, 0.0f});
    } else if (name == "velmor4") {
        reader.floats("glColor3f", {0.0f, 1.0f, 0.0f});
        reader.call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL});
    } else if (name == "velmor6") {
        reader.call("glEnable", {GL_BLEND});
        reader.call("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA});
    }
    for (int i = 0; i < CELLS && reader.ok(); ++i) {
        for (int j = 0; j < CELLS && reader.ok(); ++j) {
            if (name == "velmor3") {
                reader.call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL});
                surface(i, j, Normals::OnePerQuad);
            } else if (name == "velmor4") {
                surface(i, j, Normals::PerVertex);
            } else if (name == "velmor5") {
                reader.call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL});
                reader.floats("glColor3f", {0.0f, 1.0f, 0.0f});
                surface(i, j, Normals::PerVertex);
                outline(i, j);
            } else {
                outline(i, j);
                reader.call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL});
                reader.floats("glColor4f", {0.0f, 1.0f, 0.0f, 0.75f});
                surface(i, j, Normals::PerVertex);
            }
        }
    }
    reader.call("glXSwapBuffers");
    if (reader.ok() && reader.position() != calls.size()) {
        reader.fail("the frame goes on after the swap");
    }
    failure = reader.failure();
    return quads;
}

double (*heightReference(const LessonInfo& lesson))(float, float)
{
    return lesson.surface == scene::bump ? scene::bumpAtFloats : scene::raisedBumpAtFloats;
}

// ---------------------------------------------------------------------------
// The tests, once per lesson

class EveryLesson : public testing::TestWithParam<LessonInfo> {
  protected:
    // One recording per test program and lesson.
    static const Recording& recording(const LessonInfo& lesson)
    {
        static std::map<std::string, Recording> recordings;
        auto found = recordings.find(lesson.name);
        if (found == recordings.end()) {
            found = recordings.emplace(lesson.name, record(lesson)).first;
        }
        return found->second;
    }

    // The lesson's calls in the repainted frame, the second: a whole
    // frame with no reshape before it.
    void repaintedDisplay(std::vector<TraceCall>& display) const
    {
        const Recording& r = recording(GetParam());
        ASSERT_GE(r.size(), 2u) << "frames: first, repaint, ...";
        display = displayCalls(r[1]);
    }

    // That frame read into quads; every call must be the lesson's.
    void repaintedQuads(std::vector<Quad>& quads) const
    {
        std::vector<TraceCall> display;
        ASSERT_NO_FATAL_FAILURE(repaintedDisplay(display));
        std::string failure;
        quads = readLessonFrame(GetParam(), display, failure);
        ASSERT_EQ(failure, "");
    }
};

INSTANTIATE_TEST_SUITE_P(Lessons, EveryLesson, testing::ValuesIn(gui::ALL_LESSONS),
                         testing::PrintToStringParamName());

// Every frame is the lesson's calls, whole, with the exact count, and
// the same calls with the same values every time: nothing carries over
// from one frame to the next, and the window's size does not enter the
// drawing.
TEST_P(EveryLesson, EveryFrameIsTheLessonsCallsAndOneSwap)
{
    const Recording& r = recording(GetParam());
    ASSERT_GE(r.size(), 4u) << "frames: first, repaint, resize, repaint";
    ASSERT_LE(r.size(), 5u) << "frames: first, repaint, resize and its Expose, repaint";
    const std::vector<TraceCall> first = displayCalls(r[0]);
    for (std::size_t frame = 0; frame < r.size(); ++frame) {
        const std::vector<TraceCall>& calls = r[frame];
        const std::vector<TraceCall> display = displayCalls(calls);
        EXPECT_EQ(display.size(), FRAME_CALLS.at(GetParam().name)) << "frame " << frame + 1;
        std::string failure;
        readLessonFrame(GetParam(), display, failure);
        EXPECT_EQ(failure, "") << "frame " << frame + 1;

        // describe() prints every value in full, so equal text is equal
        // bits.  The swap's own arguments are the same too.
        std::size_t differing = 0;
        for (std::size_t k = 0; k < std::min(display.size(), first.size()); ++k) {
            const std::string a = first[k].describe(), b = display[k].describe();
            if (a.substr(a.find(' ')) != b.substr(b.find(' ')) && differing++ == 0) {
                ADD_FAILURE() << "frame " << frame + 1 << " differs from the first at call "
                              << k + 1 << ": " << b << " instead of " << a;
            }
        }
        EXPECT_EQ(differing, 0u) << "frame " << frame + 1;
    }

    // The repainted frame holds nothing but the context switch, the
    // lesson's calls, freeglut's flush and the swap: no reshape, no call
    // apitrace made up.
    const std::vector<TraceCall>& repaint = r[1];
    std::size_t k = 0;
    while (k < repaint.size() && repaint[k].name == "glXMakeContextCurrent") {
        ++k;
    }
    ASSERT_LT(k, repaint.size());
    EXPECT_EQ(repaint[k].name, "glClearColor") << repaint[k].describe();
    ASSERT_GE(repaint.size(), 2u);
    EXPECT_EQ(repaint[repaint.size() - 2].name, "glFlush");
    EXPECT_EQ(repaint.size() - k, FRAME_CALLS.at(GetParam().name) + 1);
    for (const TraceCall& call : repaint) {
        EXPECT_FALSE(call.madeUp()) << call.describe();
    }
}

// Nothing in the display routine touches a matrix, flushes or finishes;
// freeglut's one glFlush before the swap is the only flush.
TEST_P(EveryLesson, DisplayNeitherFlushesNorTouchesMatrices)
{
    std::vector<TraceCall> display;
    ASSERT_NO_FATAL_FAILURE(repaintedDisplay(display));
    for (const TraceCall& call : display) {
        const std::string& n = call.name;
        const bool forbidden = n == "glFlush" || n == "glFinish" ||
                               n.find("Matrix") != std::string::npos || n == "glLoadIdentity" ||
                               n.rfind("glTranslate", 0) == 0 || n.rfind("glRotate", 0) == 0 ||
                               n.rfind("glScale", 0) == 0 || n == "glViewport";
        EXPECT_FALSE(forbidden) << call.describe();
    }
}

// Every vertex lies exactly on the float grid walk: x and y bit for bit;
// heights within a stated distance of the exact height, and the very
// same bits wherever neighbouring cells share a corner.
TEST_P(EveryLesson, VerticesLieOnTheGridWalkAndNeighboursMeetExactly)
{
    const LessonInfo& lesson = GetParam();
    std::vector<Quad> quads;
    ASSERT_NO_FATAL_FAILURE(repaintedQuads(quads));

    const std::vector<float> grid = scene::gridCoordinates();
    ASSERT_EQ(grid.size(), static_cast<std::size_t>(CELLS + 1));
    const auto height = heightReference(lesson);
    std::map<std::pair<int, int>, std::uint32_t> heightAt; // (i, j) -> bits of z
    double worstUlps = 0.0;
    std::size_t mismatches = 0;
    for (const Quad& q : quads) {
        for (int k = 0; k < 4; ++k) {
            const int i = q.i + CORNER[k][0], j = q.j + CORNER[k][1];
            const Float3& v = q.vertices[k];
            const float x = grid[i];
            const float y = grid[j];
            if ((bitsOf(v.x) != bitsOf(x) || bitsOf(v.y) != bitsOf(y)) && mismatches++ < 5) {
                ADD_FAILURE() << "cell (" << q.i << ", " << q.j << ") corner " << k << " at ("
                              << v.x << ", " << v.y << "), the walk gives (" << x << ", " << y
                              << ")";
            }
            if (q.outline) {
                EXPECT_EQ(bitsOf(v.z), bitsOf(0.0f))
                    << "outline of cell (" << q.i << ", " << q.j << ")";
                continue;
            }
            const double ulps = ulpsOff(v.z, height(x, y));
            worstUlps = std::max(worstUlps, ulps);
            const auto [seen, fresh] = heightAt.emplace(std::make_pair(i, j), bitsOf(v.z));
            EXPECT_TRUE(fresh || seen->second == bitsOf(v.z))
                << "vertex (" << i << ", " << j << ") has two heights";
        }
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(heightAt.size(), static_cast<std::size_t>((CELLS + 1) * (CELLS + 1)));
    EXPECT_LE(worstUlps, HEIGHT_ULPS);

    // The walk: 28 cells per side, the last lower corner 4.3103461 and the
    // last upper one 4.6551738, each step a float addition of 10/29.
    EXPECT_EQ(grid.front(), -5.0f);
    EXPECT_EQ(bitsOf(10.0f / 29.0f), 0x3EB08D3Eu);
    for (std::size_t k = 1; k < grid.size(); ++k) {
        EXPECT_EQ(bitsOf(grid[k]), bitsOf(grid[k - 1] + 10.0f / 29.0f));
    }
    EXPECT_FLOAT_EQ(grid[CELLS - 1], 4.3103461f);
    EXPECT_FLOAT_EQ(grid[CELLS], 4.6551738f);
}

// The normals are the lesson's: one face normal per quad from two of its
// edges in lesson 3; the smoothed vertex normal in the others, the same
// bits for a vertex in every cell around it.
TEST_P(EveryLesson, NormalsAreTheLessonsAndSharedVerticesAgree)
{
    const LessonInfo& lesson = GetParam();
    std::vector<Quad> quads;
    ASSERT_NO_FATAL_FAILURE(repaintedQuads(quads));

    const std::vector<float> grid = scene::gridCoordinates();
    const bool flat = std::string(lesson.name) == "velmor3";
    double worst = 0.0;
    std::map<std::pair<int, int>, Float3> normalAt;
    std::size_t failures = 0;
    for (const Quad& q : quads) {
        if (q.outline) {
            continue;
        }
        if (flat) {
            // From the recorded corners, in float and in the lesson's order:
            // u = c10 - c00 and v = c01 - c00, their cross product, its
            // length sqrtf((x x + y y) + z z).  Only +, -, *, / and sqrtf,
            // all correctly rounded, so the result is exact to the bit.
            const Float3* c = q.vertices;
            const Float3 u = {c[1].x - c[0].x, c[0].y - c[0].y, c[1].z - c[0].z};
            const Float3 v = {c[0].x - c[0].x, c[3].y - c[0].y, c[3].z - c[0].z};
            const Float3 w = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
            float length = std::sqrt((w.x * w.x + w.y * w.y) + w.z * w.z);
            if (static_cast<double>(length) < 1e-6) {
                length = 1.0f;
            }
            const Float3 expected = {w.x / length, w.y / length, w.z / length};
            const Float3& n = q.normals[0];
            if (bitsOf(n) != bitsOf(expected) && failures++ < 5) {
                ADD_FAILURE() << "cell (" << q.i << ", " << q.j << ") normal (" << n.x << ", "
                              << n.y << ", " << n.z << "), expected (" << expected.x << ", "
                              << expected.y << ", " << expected.z << ")";
            }
            EXPECT_GT(n.z, 0.0f);
            continue;
        }
        for (int k = 0; k < 4; ++k) {
            const int i = q.i + CORNER[k][0], j = q.j + CORNER[k][1];
            const scene::Vec3 reference =
                scene::vertexNormalAtFloats(heightReference(lesson), grid[i], grid[j]);
            const Float3& n = q.normals[k];
            const double error = std::max({std::abs(n.x - reference.x), std::abs(n.y - reference.y),
                                           std::abs(n.z - reference.z)});
            worst = std::max(worst, error);
            if (error > VERTEX_NORMAL_TOLERANCE && failures++ < 5) {
                ADD_FAILURE() << "vertex (" << i << ", " << j << ") normal (" << n.x << ", " << n.y
                              << ", " << n.z << "), expected (" << reference.x << ", "
                              << reference.y << ", " << reference.z << ")";
            }
            const auto [seen, fresh] = normalAt.emplace(std::make_pair(i, j), n);
            EXPECT_TRUE(fresh || bitsOf(seen->second) == bitsOf(n))
                << "vertex (" << i << ", " << j << ") has two normals";
        }
    }
    EXPECT_EQ(failures, 0u);
    RecordProperty("largest_vertex_normal_error", std::to_string(worst));

    if (flat) {
        ASSERT_FALSE(quads.empty());
        const Float3& first = quads.front().normals[0];
        EXPECT_NEAR(first.x, FIRST_NORMAL_XY, FIRST_NORMAL_TOLERANCE);
        EXPECT_NEAR(first.y, FIRST_NORMAL_XY, FIRST_NORMAL_TOLERANCE);
        EXPECT_NEAR(first.z, 1.0, FIRST_NORMAL_TOLERANCE);
    }
}

// The polygon mode a frame leaves behind: lesson 5 ends on an outline
// (lines), lesson 6 on a surface (fill); the next frame sets what it
// needs again before drawing.
TEST_P(EveryLesson, LeavesThePolygonModeOfItsLastQuad)
{
    std::vector<TraceCall> display;
    ASSERT_NO_FATAL_FAILURE(repaintedDisplay(display));
    std::int64_t last = -1;
    for (const TraceCall& call : display) {
        if (call.name == "glPolygonMode") {
            last = call.argument(1).asInt();
        }
    }
    const std::string name = GetParam().name;
    EXPECT_EQ(last, name == "velmor5" ? GL_LINE : GL_FILL);
}

// The reshape handler's calls: the view from (10, 10, 10) (gluLookAt
// multiplies by its rotation in float and translates by -eye), the
// 60 degree perspective with the window's aspect divided in float and
// the near plane 0.1 as a float, and the viewport; first at 500 x 500,
// then at 700 x 300 after the resize.
TEST_P(EveryLesson, ReshapeSetsTheFixedCameraForTheWindowsSize)
{
    const Recording& r = recording(GetParam());
    ASSERT_GE(r.size(), 4u);
    // The GL calls of each frame before the display routine's first.
    std::vector<std::vector<TraceCall>> beforeDisplay(r.size());
    std::vector<std::size_t> reshaped;
    for (std::size_t frame = 0; frame < r.size(); ++frame) {
        for (const TraceCall& call : r[frame]) {
            if (call.name == "glClearColor") {
                break;
            }
            if (call.name.rfind("glX", 0) != 0 && !call.madeUp()) {
                beforeDisplay[frame].push_back(call);
            }
        }
        if (!beforeDisplay[frame].empty()) {
            reshaped.push_back(frame);
        }
    }
    // The first frame and one after the resize; the repaint in between
    // has no reshape.
    ASSERT_EQ(reshaped.size(), 2u);
    EXPECT_EQ(reshaped[0], 0u);
    EXPECT_GE(reshaped[1], 2u);
    const struct {
        std::size_t frame;
        int width, height;
    } cases[] = {{reshaped[0], gui::WINDOW_SIZE, gui::WINDOW_SIZE},
                 {reshaped[1], RESIZED_WIDTH, RESIZED_HEIGHT}};
    for (const auto& c : cases) {
        SCOPED_TRACE("frame " + std::to_string(c.frame + 1));
        const std::vector<TraceCall>& gl = beforeDisplay[c.frame];
        FrameReader reader(gl);
        reader.call("glMatrixMode", {GL_MODELVIEW});
        reader.call("glLoadIdentity");
        const TraceCall* view = reader.call("glMultMatrixf");
        const TraceCall* translate = reader.call("glTranslated");
        reader.call("glMatrixMode", {GL_PROJECTION});
        reader.call("glLoadIdentity");
        const TraceCall* projection = reader.call("glMultMatrixd");
        reader.call("glViewport", {0, 0, c.width, c.height});
        ASSERT_TRUE(reader.ok()) << reader.failure();
        EXPECT_EQ(reader.position(), gl.size()) << "more GL calls before the first frame";

        // A matrix argument: exact zeros, the other elements within `ulps`
        // (of float where `single`).
        const auto expectMatrix = [](const TraceCall* call, const std::array<double, 16>& want,
                                     bool single, double ulps) {
            const auto& m = call->argument(0).asList();
            ASSERT_EQ(m.size(), 16u);
            for (std::size_t k = 0; k < 16; ++k) {
                const double got = single ? m[k].asFloat() : m[k].asDouble();
                const double off = want[k] == 0.0 ? (got == 0.0 ? 0.0 : INFINITY)
                                   : single       ? ulpsOff(static_cast<float>(got), want[k])
                                                  : ulpsOff(got, want[k]);
                EXPECT_LE(off, ulps) << call->name << " element " << k << ": " << m[k].describe()
                                     << " for " << want[k];
            }
        };
        // gluLookAt: rows side, up and -forward, column-major.
        expectMatrix(view, scene::viewRotation(), true, LOOK_AT_ULPS);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(translate->argument(k).asDouble(), -scene::EYE);
        }
        // gluPerspective in double, as GLU computes it.
        expectMatrix(projection, scene::perspective(scene::aspectOf(c.width, c.height)), false,
                     PERSPECTIVE_ULPS);
    }
}

} // namespace
