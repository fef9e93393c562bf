// Closing a lesson's window the way a window manager does: a
// WM_PROTOCOLS / WM_DELETE_WINDOW ClientMessage sent to the window.
//
// The programs register no close handler on purpose.  The toolkit's
// default action on a window close is to leave: it calls exit(0) from
// inside its event loop (runLesson's own "return 0" is never reached).
// So the status expected is exit code 0, reached promptly, with nothing
// written on the way out: no signal, no abort, no X error.
#include "harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

// After GoogleTest, whose headers use names that Xlib defines as macros.
#include <X11/Xlib.h>

namespace {

// Leaving takes milliseconds; this is the most a user should wait for a
// closed window's process to go, sanitizers included.
constexpr harness::Milliseconds PROMPT_EXIT(2000);

// A resize the program has not yet caught up with when the close arrives.
constexpr int PENDING_WIDTH = 640;
constexpr int PENDING_HEIGHT = 360;

// Closes the window and checks the clean exit; returns how long it took.
harness::Milliseconds closeCleanly(harness::Lesson& lesson)
{
    const auto start = harness::Clock::now();
    const harness::ExitStatus status = lesson.close();
    const harness::Milliseconds took = harness::since(start);
    EXPECT_TRUE(status.exited) << "ended by " << status.describe() << "; output:\n"
                               << lesson.output();
    EXPECT_EQ(status.code, 0) << status.describe() << "; output:\n" << lesson.output();
    EXPECT_EQ(lesson.errors(), "");
    EXPECT_LT(took.count(), PROMPT_EXIT.count()) << "the process took this long to end";
    return took;
}

class CloseLikeAWindowManager : public ::testing::TestWithParam<lessons::Built> {
  protected:
    harness::VirtualDisplay display_;
};

} // namespace

TEST_P(CloseLikeAWindowManager, EndsTheProcessWithStatusZero)
{
    harness::Lesson lesson(display_, {GetParam().program});
    RecordProperty("close_ms", static_cast<int>(closeCleanly(lesson).count()));
}

// A user who resizes and at once closes: the close arrives behind a
// configure that the program has not handled yet, so it is processed in
// the middle of a reshape and repaint.
TEST_P(CloseLikeAWindowManager, EndsTheProcessWhenTheCloseFollowsAResize)
{
    harness::Lesson lesson(display_, {GetParam().program});
    Display* x = display_.connection();
    XResizeWindow(x, lesson.window(), PENDING_WIDTH, PENDING_HEIGHT);
    XFlush(x);
    closeCleanly(lesson);
}

// Lesson 7 asks the toolkit to return from its event loop instead, and
// returns 0 from main.
INSTANTIATE_TEST_SUITE_P(Lessons, CloseLikeAWindowManager, ::testing::ValuesIn(lessons::BUILT),
                         ::testing::PrintToStringParamName());
