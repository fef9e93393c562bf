// The reshape handler at window sizes a user can produce but rarely does:
// zero width or height (a minimised window), sizes beyond the largest
// viewport OpenGL accepts, and a wide window.  It runs inside a real GL
// context: this program opens a window of its own with the toolkit on a
// private X server and calls reshape directly, then reads back what it
// left in OpenGL.
#include "harness.h"
#include "plotcore.h"
#include "plotcore_internal.h"
#include "scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The size every lesson opens at.
constexpr int WINDOW_SIZE = 500;

// The camera and projection the lessons use come from the reference
// model (scene.h), written independently of the code under test.
constexpr double EYE = scene::EYE;

// GLU builds the projection in double and OpenGL keeps it in float.  The
// matrix read back is therefore the double result rounded once to float;
// this tolerance (relative, about eight float ulps) leaves room for GLU
// reaching the same value by a different route (cos/sin rather than tan).
constexpr double PROJECTION_TOLERANCE = 1e-6;

// The view transform maps the eye to the origin.  Its entries are floats
// of magnitude up to 17, so the product is exact to a few float ulps of 17.
constexpr double VIEW_TOLERANCE = 1e-5;

// What reshape leaves in OpenGL.
struct GlState {
    GLfloat projection[16];
    GLfloat modelview[16];
    GLint viewport[4];
    GLint matrixMode;
};

GlState readState()
{
    GlState state;
    std::memset(&state, 0, sizeof state);
    glGetFloatv(GL_PROJECTION_MATRIX, state.projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, state.modelview);
    glGetIntegerv(GL_VIEWPORT, state.viewport);
    glGetIntegerv(GL_MATRIX_MODE, &state.matrixMode);
    return state;
}

// Calls reshape and returns the state it left, failing the test on any GL
// error it raised.
GlState reshapeAndRead(int width, int height)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    reshape(width, height);
    const GLenum error = glGetError();
    EXPECT_EQ(error, static_cast<GLenum>(GL_NO_ERROR))
        << "reshape(" << width << ", " << height << ") raised GL error 0x" << std::hex << error;
    return readState();
}

bool allFinite(const GLfloat (&matrix)[16])
{
    for (GLfloat value : matrix) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return true;
}

bool sameBits(const GlState& a, const GlState& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string describe(const GLfloat (&matrix)[16])
{
    std::string text;
    for (int i = 0; i < 16; ++i) {
        text += (i % 4 == 0 ? "\n  " : " ") + std::to_string(matrix[i]);
    }
    return text;
}

// gluPerspective(60, aspect, 0.1f, 30), column-major as OpenGL stores it.
void expectPerspective(const GLfloat (&matrix)[16], double aspect)
{
    const std::array<double, 16> expected = scene::perspective(aspect);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(matrix[i], expected[i], PROJECTION_TOLERANCE * std::fabs(expected[i]))
            << "projection entry " << i << " for aspect " << aspect << describe(matrix);
    }
}

// Applies a column-major matrix to the point (x, y, z, 1).
std::vector<double> transform(const GLfloat (&m)[16], double x, double y, double z)
{
    std::vector<double> out(4);
    for (int row = 0; row < 4; ++row) {
        out[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    }
    return out;
}

// One window, and with it one GL context, for the whole program: the
// toolkit can be initialised only once per process.
class ReshapeInContext : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        display_ = std::make_unique<harness::VirtualDisplay>();
        std::string program = "reshape_test";
        std::string option = "-display";
        std::string name = display_->name();
        char* argv[] = {program.data(), option.data(), name.data(), nullptr};
        int argc = 3;
        glutInit(&argc, argv);
        // The lessons' own request, so the context is of the same kind.
        glutInitDisplayMode(GLUT_DOUBLE);
        glutInitWindowSize(WINDOW_SIZE, WINDOW_SIZE);
        glutCreateWindow("reshape test");
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport_);
    }

    static std::unique_ptr<harness::VirtualDisplay> display_;
    static GLint maxViewport_[2];
};

std::unique_ptr<harness::VirtualDisplay> ReshapeInContext::display_;
GLint ReshapeInContext::maxViewport_[2];

} // namespace

// Zero sizes come from a minimised window.  A division by zero there
// would leave infinities or NaN in the projection, and every later frame
// would be computed with them; and a return to the normal size must
// leave no trace of the detour.
TEST_F(ReshapeInContext, DegenerateAndOversizedWindowsLeaveFiniteMatricesAndNoTrace)
{
    const GlState fresh = reshapeAndRead(WINDOW_SIZE, WINDOW_SIZE);
    ASSERT_TRUE(allFinite(fresh.projection)) << describe(fresh.projection);
    ASSERT_TRUE(allFinite(fresh.modelview)) << describe(fresh.modelview);

    struct Case {
        int width, height;
    };
    // The zero sizes, and sizes past the viewport limit up to the largest
    // window X allows.
    const Case cases[] = {{0, 0},     {WINDOW_SIZE, 0}, {0, WINDOW_SIZE}, {1, 1},    {32767, 32767},
                          {32767, 1}, {1, 32767},       {0, 32767},       {32767, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("reshape(" + std::to_string(c.width) + ", " + std::to_string(c.height) + ")");
        const GlState state = reshapeAndRead(c.width, c.height);
        EXPECT_TRUE(allFinite(state.projection)) << describe(state.projection);
        EXPECT_TRUE(allFinite(state.modelview)) << describe(state.modelview);
        // The camera does not depend on the window.
        EXPECT_EQ(std::memcmp(state.modelview, fresh.modelview, sizeof fresh.modelview), 0)
            << describe(state.modelview);
        // OpenGL clamps the viewport to its limit; reshape passes the size on.
        EXPECT_EQ(state.viewport[0], 0);
        EXPECT_EQ(state.viewport[1], 0);
        EXPECT_EQ(state.viewport[2], std::min(c.width, maxViewport_[0]));
        EXPECT_EQ(state.viewport[3], std::min(c.height, maxViewport_[1]));
        EXPECT_EQ(state.matrixMode, GL_PROJECTION);

        const GlState back = reshapeAndRead(WINDOW_SIZE, WINDOW_SIZE);
        EXPECT_TRUE(sameBits(back, fresh))
            << "after the detour the projection is" << describe(back.projection)
            << "\nand the model-view" << describe(back.modelview);
    }
}

// A wide window must see the same scene, only wider: same vertical field
// of view, same camera.  Everything but the horizontal scale stays bit for
// bit what the square window has.
TEST_F(ReshapeInContext, WideWindowChangesOnlyTheAspect)
{
    const GlState square = reshapeAndRead(WINDOW_SIZE, WINDOW_SIZE);
    const GlState wide = reshapeAndRead(800, 400);

    expectPerspective(square.projection, 1.0);
    expectPerspective(wide.projection, 2.0);
    for (int i = 1; i < 16; ++i) {
        EXPECT_EQ(std::memcmp(&wide.projection[i], &square.projection[i], sizeof(GLfloat)), 0)
            << "projection entry " << i << describe(wide.projection);
    }
    EXPECT_EQ(std::memcmp(wide.modelview, square.modelview, sizeof square.modelview), 0);
    EXPECT_EQ(wide.viewport[2], 800);
    EXPECT_EQ(wide.viewport[3], 400);

    // The model-view is the camera at (10, 10, 10) looking at the origin,
    // not (say) an identity left over: the eye lands on the origin and
    // the origin straight ahead, down the negative z axis.
    const std::vector<double> eye = transform(wide.modelview, EYE, EYE, EYE);
    EXPECT_NEAR(eye[0], 0.0, VIEW_TOLERANCE);
    EXPECT_NEAR(eye[1], 0.0, VIEW_TOLERANCE);
    EXPECT_NEAR(eye[2], 0.0, VIEW_TOLERANCE);
    const std::vector<double> target = transform(wide.modelview, 0.0, 0.0, 0.0);
    EXPECT_NEAR(target[0], 0.0, VIEW_TOLERANCE);
    EXPECT_NEAR(target[1], 0.0, VIEW_TOLERANCE);
    EXPECT_NEAR(target[2], -EYE * std::sqrt(3.0), VIEW_TOLERANCE);
    // +z points up the screen.
    const std::vector<double> above = transform(wide.modelview, 0.0, 0.0, 1.0);
    EXPECT_NEAR(above[0], target[0], VIEW_TOLERANCE);
    EXPECT_GT(above[1], target[1]);
}
