// Lesson 9 given functions and options it cannot plot.  Each must be told
// in one sentence on standard error, with exit status 2, before any
// window: so the program runs here with no display at all, and a message
// from the toolkit about the display would mean it got that far.
#include "harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

harness::Finished runWithoutDisplay(const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = {VELMOR9_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const harness::Finished run = harness::runToEnd(
        words, harness::environmentWith({}, {"DISPLAY"}), harness::Milliseconds(10000));
    EXPECT_FALSE(run.hung) << "still running after 10 s";
    return run;
}

TEST(FunctionInput, EachBadInputIsOneSentenceAndStatus2)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* says;
    };
    const std::string huge(120000, 'x'); // one argument can hold 128 KiB at most
    std::string euros;
    for (int i = 0; i < 1200; ++i) {
        euros += "\xe2\x82\xac";
    }
    const Case cases[] = {
        {{"sin(x"}, "\"sin(x\" cannot be plotted: at column 6, a ')' is missing"},
        {{"x +* y"}, "at column 4, a number, x, y, a function or '(' should come here"},
        {{""}, "cannot be plotted: it is empty"},
        {{"z * x"}, "'z' is not a name the language knows: the variables are x and y"},
        {{"foo(y)"}, "'foo' is not a function the language knows"},
        {{"log(-1 - x^2)"}, "has no finite value anywhere on the grid"},
        {{"sqrt(-1)"}, "has no finite value anywhere on the grid"},
        {{huge}, "The function given cannot be plotted: it is 120000 characters long"},
        {{"x\xff\xfe"}, "The function given cannot be plotted: at column 2, the byte 0xff"},
        {{"--cells", "0"}, "--cells takes a whole number of cells from 1 to 400, not \"0\""},
        {{"--cells=401", "x"}, "from 1 to 400, not \"401\""},
        {{"x", "--cells"}, "from 1 to 400, not \"\""},
        {{"sin(x)", "*", "y"}, "plots one function, given as one argument in quotes"},
        {{"--colour"}, "has no option \"--colour\""},
        {{"--\x1b]0;TITLE\x07"}, "has no option \"--\\x1b]0;TITLE\\x07\""},
        {{"--cells", "4294967297"}, "from 1 to 400, not \"4294967297\""},
        {{"--cells=1e10"}, "from 1 to 400, not \"1e10\""},
        {{euros}, "The function given cannot be plotted: it is 1200 characters long"},
        {{"--", "-x +"}, "\"-x +\" cannot be plotted: at column 5, "},
    };
    for (const Case& c : cases) {
        const harness::Finished run = runWithoutDisplay(c.arguments);
        const std::string shown = c.arguments[0].substr(0, 20);
        EXPECT_TRUE(run.status.exited && run.status.code == 2)
            << shown << ": " << run.status.describe() << "\n"
            << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << shown << ": " << run.output;
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << shown << ": " << run.output;
        // Nothing the terminal would act on comes back from the input.
        EXPECT_EQ(run.output.find_first_of("\x1b\x07\r"), std::string::npos) << run.output;
    }
}

} // namespace
