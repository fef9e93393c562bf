// Every lesson started where there is no X display: DISPLAY unset, or
// naming a display nobody serves.  The program cannot do anything useful,
// so it must say why in one line and end at once with a failure status:
// no hang waiting for a server, no crash, no core file.  The reason comes
// from the toolkit, which ends the process itself when it cannot connect.
//
// Lesson 8 can also meet a display that lacks what it needs, or a shader
// of its own that a learner's edit broke: at the end, the same checks on
// its one sentence and its status.
#include "harness.h"

#include <gtest/gtest.h>

// After GoogleTest, whose headers use names that Xlib defines as macros.
#include <X11/Xlib.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A program that cannot reach a display has nothing to wait for; two
// seconds is generous even under the sanitizers (it takes a few ms).
constexpr std::chrono::milliseconds TIME_LIMIT(2000);

// Display numbers far above the ones Xvfb -displayfd hands out (it takes
// the lowest free one), searched for one that nothing serves.
constexpr int FIRST_UNUSED_CANDIDATE = 4000;
constexpr int CANDIDATES = 100;

// A display name that refuses connections now: no socket file, no lock
// file, and a connection attempt fails.
std::string unusedDisplay()
{
    for (int number = FIRST_UNUSED_CANDIDATE; number < FIRST_UNUSED_CANDIDATE + CANDIDATES;
         ++number) {
        const std::string n = std::to_string(number);
        struct stat info;
        if (stat(("/tmp/.X11-unix/X" + n).c_str(), &info) == 0 ||
            stat(("/tmp/.X" + n + "-lock").c_str(), &info) == 0) {
            continue;
        }
        const std::string name = ":" + n;
        if (Display* display = XOpenDisplay(name.c_str())) {
            XCloseDisplay(display);
            continue;
        }
        return name;
    }
    return "";
}

// Runs program with arguments, DISPLAY set to display (or removed if
// display is null), and waits at most TIME_LIMIT.
harness::Finished run(const std::string& program, const std::vector<std::string>& arguments,
                      const char* display)
{
    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return harness::runToEnd(words,
                             display != nullptr ? harness::environmentWith({{"DISPLAY", display}})
                                                : harness::environmentWith({}, {"DISPLAY"}),
                             TIME_LIMIT);
}

// The one line freeglut writes when it cannot open the display, naming
// the program as started and the display it tried ('' for none).
std::string expectedReason(const std::string& program, const std::string& display)
{
    return "freeglut (" + program + "): failed to open display '" + display + "'\n";
}

void expectCleanFailure(const harness::Finished& outcome, const std::string& reason)
{
    ASSERT_FALSE(outcome.hung) << "still running after " << TIME_LIMIT.count()
                               << " ms; output so far: " << outcome.output;
    EXPECT_LT(outcome.elapsed, TIME_LIMIT);
    ASSERT_TRUE(outcome.status.exited)
        << "ended by " << outcome.status.describe() << "; output: " << outcome.output;
    EXPECT_NE(outcome.status.code, 0) << "a program that showed nothing reported success";
    EXPECT_NE(outcome.status.code, 127) << "the program could not be started";
    EXPECT_EQ(outcome.output, reason);
}

class NoDisplay : public ::testing::TestWithParam<lessons::Built> {};

} // namespace

TEST_P(NoDisplay, EndsAtOnceWithTheToolkitsReason)
{
    const std::string program = GetParam().program;
    const std::string nowhere = unusedDisplay();
    ASSERT_FALSE(nowhere.empty()) << "found no unused display number to point DISPLAY at";

    // The toolkit's own option reaches it through the command line too.
    const struct {
        std::string what, tried;
        std::vector<std::string> arguments;
        const char* display;
    } cases[] = {{"unset", "", {}, nullptr},
                 {"nowhere", nowhere, {}, nowhere.c_str()},
                 {"option", nowhere, {"-display", nowhere}, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what + " " + c.tried);
        const harness::Finished outcome = run(program, c.arguments, c.display);
        expectCleanFailure(outcome, expectedReason(program, c.tried));
        RecordProperty(c.what + "_ms", static_cast<int>(outcome.elapsed.count()));
    }
}

INSTANTIATE_TEST_SUITE_P(Lessons, NoDisplay, ::testing::ValuesIn(lessons::BUILT),
                         ::testing::PrintToStringParamName());

#ifdef VELMOR8_PROGRAM

// Lesson 8 on a display that has no OpenGL 3.3 core profile.  Mesa's
// MESA_GL_VERSION_OVERRIDE makes llvmpipe offer OpenGL 3.0 and no core
// profile at all; without the lesson's own handling, GLX's refusal is an X
// error that Xlib reports as a failed protocol request before ending the
// program, and the lesson would not say what it needs.  The sentence must
// come within a second: the lesson gives up, it does not wait.
TEST(NoCoreProfile, SaysWhatTheLessonNeedsAndWhatTheDisplayOffers)
{
    harness::VirtualDisplay display;
    setenv("MESA_GL_VERSION_OVERRIDE", "3.0", 1);
    const harness::Finished outcome = run(VELMOR8_PROGRAM, {}, display.name().c_str());
    unsetenv("MESA_GL_VERSION_OVERRIDE");
    const std::string sentence = "The lesson \"8. Buffers and shaders\" needs OpenGL 3.3 with the "
                                 "core profile, but this display offers OpenGL 3.0 ";
    expectCleanFailure(outcome, outcome.output.rfind(sentence, 0) == 0 ? outcome.output : sentence);
    EXPECT_EQ(outcome.output.find('\n'), outcome.output.size() - 1) << "one line";
    EXPECT_LT(outcome.elapsed, std::chrono::milliseconds(1000));
    RecordProperty("no_core_profile_ms", static_cast<int>(outcome.elapsed.count()));
}

// Mesa told to offer an older shading language than OpenGL 3.3's: the
// sentence names the language, not an OpenGL version the display has.
TEST(NoCoreProfile, SaysWhenTheShadingLanguageIsWhatIsMissing)
{
    harness::VirtualDisplay display;
    setenv("MESA_GLSL_VERSION_OVERRIDE", "130", 1);
    const harness::Finished outcome = run(VELMOR8_PROGRAM, {}, display.name().c_str());
    unsetenv("MESA_GLSL_VERSION_OVERRIDE");
    const std::string sentence = "The lesson \"8. Buffers and shaders\" needs OpenGL 3.3 with the "
                                 "core profile, but this display offers only the shading "
                                 "language version 130 that MESA_GLSL_VERSION_OVERRIDE sets: "
                                 "unset MESA_GLSL_VERSION_OVERRIDE.\n";
    expectCleanFailure(outcome, outcome.output.rfind(sentence, 0) == 0 ? outcome.output : sentence);
}

// The lesson with its shaders broken as a learner's edit might break
// them, each copy built by tests/robust/CMakeLists.txt from the lesson's
// source with one line changed.  Each says which shader failed and what
// the driver said about it, and ends with status 1.
TEST(BrokenShader, NamesTheShaderAndGivesTheDriversLog)
{
    struct Case {
        const char* program;
        bool applied;
        std::string says; // the first line
        std::string log;  // in the driver's log that follows
    };
    const std::string lesson = "The lesson \"8. Buffers and shaders\": its ";
    const Case cases[] = {
        {BROKEN_vertex_PROGRAM, BROKEN_vertex_APPLIED != 0,
         lesson + "vertex shader does not compile:\n", "`shadow'"},
        {BROKEN_fragment_PROGRAM, BROKEN_fragment_APPLIED != 0,
         lesson + "fragment shader does not compile:\n", "vec4"},
        {BROKEN_link_PROGRAM, BROKEN_link_APPLIED != 0,
         lesson + "vertex and fragment shaders do not link into one program:\n", "`shade'"},
    };
    harness::VirtualDisplay display;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        ASSERT_TRUE(c.applied) << "the edit no longer matches lessons/velmor8.cpp; "
                                  "change it in tests/robust/CMakeLists.txt";
        const harness::Finished outcome = run(c.program, {}, display.name().c_str());
        ASSERT_FALSE(outcome.hung) << outcome.output;
        ASSERT_TRUE(outcome.status.exited) << outcome.output;
        EXPECT_EQ(outcome.status.code, 1) << outcome.output;
        EXPECT_EQ(outcome.output.rfind(c.says, 0), 0u) << outcome.output;
        EXPECT_NE(outcome.output.find(c.log, c.says.size()), std::string::npos) << outcome.output;
    }
}

#endif
