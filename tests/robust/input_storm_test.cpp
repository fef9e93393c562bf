// Every lesson with the orbiting camera (lessons/controls.txt names them:
// the rows of the arrow keys), all of which take the same input, under a
// storm of it: thousands of keys, held keys, drags far outside the
// window, a resize to 1 x 1 in the middle of a drag and the wheel.
// Afterwards the program must still answer, and its camera must be where
// the storm leaves it: the storm turns as far left as right and drags
// back to where it started, so only the clamped elevation and distance
// are unknown, and driving both into their bounds must give the very
// picture those bounds give without a storm.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lessons_built.h"

namespace {

void append(std::vector<std::string>& words, const std::string& key, int times)
{
    words.insert(words.end(), static_cast<std::size_t>(times), key);
}

// The elevation driven to its upper bound and the distance to its lower
// one, from wherever they were.
std::vector<std::string> toTheBounds()
{
    std::vector<std::string> words = {"key", "--delay", "0"};
    append(words, "Up", 40);
    append(words, "plus", 30);
    return words;
}

class InputStorm : public ::testing::TestWithParam<lessons::Built> {};

} // namespace

TEST_P(InputStorm, KeepsTheCameraInBoundsAndDrawsTheRightPictureAfterwards)
{
    harness::VirtualDisplay display;
    harness::Lesson lesson(display, {GetParam().program});
    lesson.sendInput(toTheBounds());
    const harness::Image bounded = lesson.capture();
    lesson.sendInput({"key", "r"});

    const std::string window = std::to_string(lesson.window());
    std::vector<std::string> storm = {"key", "--delay", "0"};
    for (int round = 0; round < 10; ++round) {
        append(storm, "Right", 100);
        append(storm, "Down", 80);
        append(storm, "minus", 70);
        append(storm, "d", 20); // an even number: the depth test ends up on
        append(storm, "Left", 100);
        append(storm, "Up", 60);
        append(storm, "equal", 50);
        append(storm, "x", 5); // not a key of the lesson's
    }
    storm.insert(storm.end(),
                 {// held keys, repeated by the server for as long as they are down
                  "keydown", "Up", "sleep", "0.3", "keyup", "Up", "keydown", "minus", "sleep",
                  "0.3", "keyup", "minus",
                  // a drag far outside the window and back, with a resize to
                  // 1 x 1 and to a wide window while the button is held
                  "mousemove", "--window", window, "250", "250", "mousedown", "1", "mousemove",
                  "1999", "1999", "mousemove", "0", "0", "windowsize", window, "1", "1",
                  "mousemove", "1999", "0", "windowsize", window, "800", "300", "mousemove", "0",
                  "1999", "mousemove", "--window", window, "250", "250", "mouseup", "1",
                  "windowsize", window, "500", "500",
                  // the wheel both ways
                  "click", "--repeat", "50", "--delay", "0", "4", "click", "--repeat", "50",
                  "--delay", "0", "5"});
    lesson.sendInput(storm);
    ASSERT_TRUE(lesson.running());
    lesson.resize(500, 500);

    lesson.sendInput(toTheBounds());
    const harness::Image after = lesson.capture();
    EXPECT_EQ(harness::countDifferentPixels(bounded, after), 0u);
}

namespace {

// The built lessons that the controls' list says turn with the arrow keys.
std::vector<lessons::Built> orbitingLessons()
{
    std::vector<lessons::Built> orbiting;
    for (const lessons::Built& lesson : lessons::BUILT) {
        if (std::string(ORBITING_LESSONS).find(" " + std::string(lesson.name) + " ") !=
            std::string::npos) {
            orbiting.push_back(lesson);
        }
    }
    return orbiting;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Lessons, InputStorm, ::testing::ValuesIn(orbitingLessons()),
                         ::testing::PrintToStringParamName());
