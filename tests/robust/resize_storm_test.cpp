// Two hundred resizes in a row of each lesson's window, from 1 x 1 to past
// the largest viewport OpenGL accepts, then back to 500 x 500: the program
// must stay up, and the final picture must be the undisturbed one pixel
// for pixel, since no state of the program survives a resize.
//
// And the case that looked like a hang: a 1 x 1 window that lies wholly
// off the screen.  Without a window manager the toolkit puts the window
// at (-1, -1), so at 1 x 1 not one pixel of it is visible.  The X server
// then reports it fully obscured and the toolkit skips the repaint (it
// still calls reshape); nothing the program does is involved.  A later
// resize that brings a pixel back on screen makes the toolkit draw again.
#include "harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// After GoogleTest, whose headers use names that Xlib defines as macros.
#include <X11/Xlib.h>

namespace {

constexpr int WINDOW_SIZE = 500;

// The largest window side X allows, and the viewport limit of the GL in
// use here (GL_MAX_VIEWPORT_DIMS); larger windows get a clamped viewport.
constexpr int X_MAX_SIDE = 32767;
constexpr int PAST_VIEWPORT_LIMIT = 16385;

// Window sizes that each get their own frame before the next resize: the
// smallest windows, thin and non-square ones, and windows past the
// viewport limit, up to the largest side X allows.  A window past the
// limit in both directions costs a gigabyte and seconds a frame, so only
// the heaviest lesson gets one, in a test of its own below.
using harness::Size;
const Size LANDMARKS[] = {
    {1, 1},
    {2, 2},
    {1, 2},
    {2, 1},
    {1, WINDOW_SIZE},
    {WINDOW_SIZE, 1},
    {800, 400},
    {400, 800},
    {PAST_VIEWPORT_LIMIT, 200},
    {200, PAST_VIEWPORT_LIMIT},
    {X_MAX_SIDE, 64},
    {64, X_MAX_SIDE},
    {3, 3},
}; // X's largest, and back
constexpr int LANDMARK_COUNT = sizeof LANDMARKS / sizeof LANDMARKS[0];

// The storm proper: resizes sent without waiting for the program, at
// the pace of a fast drag of the window's corner (faster than most
// frames are drawn, so the toolkit both draws and merges resizes), with
// a tiny window every so often.
constexpr int TOTAL_RESIZES = 200;
constexpr int BURST_MAX_SIDE = 1200;
constexpr harness::Milliseconds DRAG_INTERVAL(4);
constexpr int TINY_EVERY = 10;

// The program has settled when it draws nothing for this long.  A frame
// of a small window takes a few ms (tens under the sanitizers); one past
// 16384 x 16384 takes seconds: a gigabyte to clear and send to the server.
constexpr harness::Milliseconds QUIET(200);
constexpr harness::Milliseconds QUIET_HUGE(3000);
constexpr harness::Milliseconds SETTLE_LIMIT(60000);

// A fixed pseudo-random sequence, so every run sends the same storm.
class Sequence {
  public:
    int next(int limit)
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return 1 + static_cast<int>((state_ >> 33) % static_cast<std::uint64_t>(limit));
    }

  private:
    std::uint64_t state_ = 0x5eed;
};

// Reads frames until the program has drawn nothing for `quiet`: then no
// frame is in flight, so a frame reported after the next resize was drawn
// after it.  (A frame report carries the window's size when the frame
// reached the server, which a frame still in flight from before a resize
// would misreport.)  Throws, through the harness, if the program ends.
void settle(harness::Lesson& lesson, harness::Milliseconds quiet)
{
    const auto deadline = harness::Clock::now() + SETTLE_LIMIT;
    unsigned seen = 0;
    do {
        ASSERT_LT(harness::Clock::now(), deadline)
            << "still drawing after " << SETTLE_LIMIT.count() << " ms";
        seen = lesson.framesDrawn();
    } while (lesson.drainFrames(quiet) != seen);
}

void expectSamePicture(const harness::Image& expected, const harness::Image& actual,
                       const std::string& what)
{
    ASSERT_EQ(actual.width(), expected.width()) << what;
    ASSERT_EQ(actual.height(), expected.height()) << what;
    const std::size_t different = harness::countDifferentPixels(expected, actual);
    EXPECT_EQ(different, 0u) << what << ": " << different << " pixels differ";
    if (different != 0) {
        const std::string file = ::testing::TempDir() + "storm-" + what + ".ppm";
        actual.writePpm(file);
        ADD_FAILURE() << "the picture is kept in " << file;
    }
}

class ResizeStorm : public ::testing::TestWithParam<lessons::Built> {
  protected:
    harness::VirtualDisplay display_;
};

} // namespace

TEST_P(ResizeStorm, SurvivesAndEndsWithTheUndisturbedPicture)
{
    harness::Lesson lesson(display_, {GetParam().program});
    settle(lesson, QUIET);
    const harness::Image undisturbed = lesson.capture();
    ASSERT_EQ(undisturbed.width(), WINDOW_SIZE);
    ASSERT_GT(undisturbed.distinctColours(), 2u) << "the first picture shows no surface";

    // Each landmark size gets drawn: the harness waits for a frame at it.
    int resizes = 0;
    for (const Size& size : LANDMARKS) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        const auto start = harness::Clock::now();
        lesson.resize(size.width, size.height);
        settle(lesson, QUIET);
        ++resizes;
        ASSERT_TRUE(lesson.running());
        RecordProperty("ms_" + std::to_string(size.width) + "x" + std::to_string(size.height),
                       static_cast<int>(harness::since(start).count()));
    }

    // The burst, with the smallest sizes among the random ones.
    Display* x = display_.connection();
    Sequence random;
    const unsigned framesBeforeBurst = lesson.framesDrawn();
    const int burst = TOTAL_RESIZES - LANDMARK_COUNT - 1;
    for (int i = 0; i < burst; ++i) {
        Size size = {random.next(BURST_MAX_SIDE), random.next(BURST_MAX_SIDE)};
        if (i % TINY_EVERY == 0) {
            const int k = i / TINY_EVERY;
            size = {1 + k % 3, 1 + k % 2};
        }
        XResizeWindow(x, lesson.window(), static_cast<unsigned>(size.width),
                      static_cast<unsigned>(size.height));
        XFlush(x);
        ++resizes;
        std::this_thread::sleep_for(DRAG_INTERVAL);
    }
    XSync(x, False);
    settle(lesson, QUIET);
    ASSERT_TRUE(lesson.running()) << lesson.output();
    RecordProperty("frames_in_burst", static_cast<int>(lesson.framesDrawn() - framesBeforeBurst));

    lesson.resize(WINDOW_SIZE, WINDOW_SIZE);
    ++resizes;
    settle(lesson, QUIET);
    EXPECT_EQ(resizes, TOTAL_RESIZES);
    ASSERT_TRUE(lesson.running()) << lesson.output();
    expectSamePicture(undisturbed, lesson.capture(), std::string(GetParam().name) + "-after-storm");

    // Still answering: a repaint draws the same picture again.
    lesson.repaint();
    settle(lesson, QUIET);
    expectSamePicture(undisturbed, lesson.capture(), std::string(GetParam().name) + "-repainted");
    RecordProperty("frames", static_cast<int>(lesson.framesDrawn()));

    // Nothing was written on the way (no GL or X error reports).
    EXPECT_EQ(lesson.errors(), "");
    const harness::ExitStatus status = lesson.stop();
    EXPECT_FALSE(status.exited) << "it ended by itself: " << status.describe();
    EXPECT_EQ(status.signal, SIGTERM) << status.describe();
}

INSTANTIATE_TEST_SUITE_P(Lessons, ResizeStorm, ::testing::ValuesIn(lessons::BUILT),
                         ::testing::PrintToStringParamName());

// The window where freeglut leaves it with no window manager, (-1, -1),
// shrunk to 1 x 1 and so wholly off the screen, then grown back.  The
// picture must return, equal to that of an undisturbed window.
TEST(TinyWindowOffScreen, DrawsAgainOnceAPixelIsBackOnScreen)
{
    harness::VirtualDisplay display;
    harness::Image undisturbed;
    {
        harness::Lesson reference(display, {VELMOR3_PROGRAM});
        settle(reference, QUIET);
        undisturbed = reference.capture();
    }

    harness::LaunchOptions options(VELMOR3_PROGRAM);
    options.omitGeometry = true;
    harness::Lesson lesson(display, options);
    const harness::Point corner = lesson.position();
    ASSERT_EQ(corner.x, -1) << "this test needs the toolkit's own placement";
    ASSERT_EQ(corner.y, -1);
    settle(lesson, QUIET);

    Display* x = display.connection();
    const unsigned before = lesson.framesDrawn();
    XResizeWindow(x, lesson.window(), 1, 1);
    XSync(x, False);
    settle(lesson, QUIET);
    ASSERT_TRUE(lesson.running());
    // Not a requirement, only a record of what the toolkit does: with
    // freeglut 3.4 none, or one when the resize is handled before the
    // server's "fully obscured" notice reaches the program.
    RecordProperty("frames_while_off_screen", static_cast<int>(lesson.framesDrawn() - before));

    // Growing it back brings a frame at full size.
    lesson.resize(WINDOW_SIZE, WINDOW_SIZE);
    settle(lesson, QUIET);
    // Moved fully on screen so that the whole picture can be read; the
    // move exposes the row and column that were off screen.
    XMoveWindow(x, lesson.window(), 0, 0);
    XSync(x, False);
    settle(lesson, QUIET);
    lesson.repaint();
    settle(lesson, QUIET);
    expectSamePicture(undisturbed, lesson.capture(), "velmor3-off-screen");
}

// A window past the viewport limit in both directions, for the heaviest
// lesson (the most calls, and blending on every covered pixel): a
// gigabyte of back buffer, a clamped viewport, then back to normal.
//
// Not 32767 x 32767: a window whose back buffer comes within a few MiB of
// 4 GiB (32767 x 32708 and larger; 32767 x 32696 still works) makes the
// software GL's buffer swap abort inside libxcb (XPutImage, "write_vec:
// Assertion `n == 0' failed"), a limit of the X libraries that no lesson
// code takes part in.
TEST(GiantWindow, PastTheViewportLimitBothWaysAndBack)
{
    harness::VirtualDisplay display;
    harness::Lesson lesson(display, {VELMOR6_PROGRAM});
    settle(lesson, QUIET);
    const harness::Image undisturbed = lesson.capture();

    const auto start = harness::Clock::now();
    lesson.resize(PAST_VIEWPORT_LIMIT, PAST_VIEWPORT_LIMIT);
    settle(lesson, QUIET_HUGE);
    RecordProperty("ms_giant", static_cast<int>(harness::since(start).count()));
    ASSERT_TRUE(lesson.running());

    lesson.resize(WINDOW_SIZE, WINDOW_SIZE);
    settle(lesson, QUIET);
    expectSamePicture(undisturbed, lesson.capture(), "velmor6-after-giant");
    EXPECT_EQ(lesson.errors(), "");
    const harness::ExitStatus status = lesson.stop();
    EXPECT_EQ(status.signal, SIGTERM) << status.describe();
}
