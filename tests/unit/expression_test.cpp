// The expression language of lesson 9: what it computes, and where and
// why it refuses a text.  The expected values are written out by hand or
// with the C library directly, never by the parser.
#include "arguments.h"
#include "expression.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

double evaluate(const std::string& text, double x, double y)
{
    Expression f;
    ExpressionError error;
    EXPECT_TRUE(f.read(text, error))
        << text << ": column " << error.column << ", " << error.message;
    return f(x, y);
}

TEST(Expression, PrecedenceAndGroupingAsOnPaper)
{
    struct Case {
        const char* text;
        double x, y, value;
    };
    const Case cases[] = {
        {"2 + 3 * 4", 0, 0, 14},
        {"(2 + 3) * 4", 0, 0, 20},
        {"x - y - 1", 5, 2, 2},
        {"8 / 4 / 2", 0, 0, 1},
        {"-x^2", 3, 0, -9},
        {"2^3^2", 0, 0, 512},
        {"2^-1", 0, 0, 0.5},
        {"- -x", 4, 0, 4},
        {"x*-y", 2, 3, -6},
        {"\tx *  y ", 2, 3, 6},
        {"1e3 + .5 + 2.", 0, 0, 1002.5},
        {"min(x, y) * 10 + max(x, y)", 1, 2, 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(evaluate(c.text, c.x, c.y), c.value) << c.text;
    }
}

TEST(Expression, FunctionsAndConstantsAreTheLibrarys)
{
    const double v = 0.3;
    EXPECT_EQ(evaluate("sin(x) + cos(y)", v, v), std::sin(v) + std::cos(v));
    EXPECT_EQ(evaluate("tan(x) * asin(x) * acos(x) * atan(x)", v, 0),
              std::tan(v) * std::asin(v) * std::acos(v) * std::atan(v));
    EXPECT_EQ(evaluate("sinh(x) - cosh(x) / tanh(x)", v, 0),
              std::sinh(v) - std::cosh(v) / std::tanh(v));
    EXPECT_EQ(evaluate("exp(x) + log(y) + log10(y) + sqrt(y) + abs(-x)", v, 7),
              std::exp(v) + std::log(7.0) + std::log10(7.0) + std::sqrt(7.0) + v);
    EXPECT_EQ(evaluate("pi", 0, 0), std::acos(-1.0));
    EXPECT_EQ(evaluate("log(e)", 0, 0), 1.0);
}

// The caller leaves such points out; the language must not hide them.
TEST(Expression, UndefinedValuesStayUndefined)
{
    EXPECT_EQ(evaluate("log(x)", 0, 0), -INFINITY);
    EXPECT_EQ(evaluate("1 / x", 0, 0), INFINITY);
    EXPECT_TRUE(std::isnan(evaluate("sqrt(-1)", 0, 0)));
    EXPECT_TRUE(std::isnan(evaluate("min(sqrt(x), 1)", -1, 0)));
    EXPECT_TRUE(std::isnan(evaluate("max(1, log(x))", -1, 0)));
}

TEST(Expression, RefusalsSayWhereAndWhy)
{
    struct Case {
        std::string text;
        std::size_t column;
        const char* says;
    };
    const Case cases[] = {
        {"sin(x", 6, "')' is missing to close the '(' at column 4"},
        {"x +* y", 4, "should come here, not '*'"},
        {"x +", 4, "the expression ends"},
        {"", 0, "empty"},
        {"   ", 0, "empty"},
        {"x)", 2, "closes no '('"},
        {"2 x", 3, "operator (+ - * / ^) is missing"},
        {"x $ y", 3, "'$' is not part of the language"},
        {"z * x", 1, "'z' is not a name the language knows: the variables are x and y"},
        {"X", 1, "the variables are x and y"},
        {"foo(x)", 1, "'foo' is not a function"},
        {"sin x", 1, "sin is a function: give its argument in parentheses"},
        {"max(x)", 6, "max takes two arguments"},
        {"max(x, y, 1)", 9, "max takes two arguments, not more"},
        {"1e-400 * x", 1, "1e-400 is too small for a number: it would be taken as 0"},
        {"x + 0.5e-999", 5, "too small"},
        {"cos(x, y)", 6, "cos takes one argument"},
        {"1, 2", 2, "comma belongs only"},
        {"(x, y)", 3, "comma belongs only"},
        {"1e", 1, "exponent needs digits"},
        {"1e999", 1, "too large"},
        {"x * .", 5, "a point alone"},
        {"x\xc3\x97y", 2, "0xc3 is not plain text"},
        {std::string("x\0y", 3), 2, "0x00 is not plain text"},
        {std::string(Expression::MAX_LENGTH + 1, 'x'), 0, "at most 1000 are read"},
        {std::string(101, '(') + "x" + std::string(101, ')'), 101, "nests more than 100"},
    };
    for (const Case& c : cases) {
        Expression f;
        ExpressionError error;
        EXPECT_FALSE(f.read(c.text, error)) << c.text;
        EXPECT_EQ(error.column, c.column) << c.text << ": " << error.message;
        EXPECT_NE(error.message.find(c.says), std::string::npos) << c.text << ": " << error.message;
    }
    // Just inside the limits: zero written small, and the smallest doubles.
    EXPECT_EQ(evaluate("0e-999 + 0.000e5 + x", 2, 0), 2);
    EXPECT_GT(evaluate("4.9e-324", 0, 0), 0);
    EXPECT_EQ(evaluate(std::string(99, '(') + "x" + std::string(99, ')'), 2, 0), 2);
    EXPECT_EQ(evaluate(std::string(99, '-') + "x", 2, 0), -2);
}

// A page keeps its last good surface when a new text is refused.
TEST(Expression, ARefusedTextLeavesTheFunctionAsItWas)
{
    Expression f;
    ExpressionError error;
    ASSERT_TRUE(f.read("x * y", error));
    EXPECT_FALSE(f.read("x * (y", error));
    EXPECT_EQ(f(2, 3), 6);
}

// What a message shows back of the learner's text: characters, not
// bytes, counted; nothing that a terminal would act on.
TEST(Text, CountsCharactersAndShowsNoControls)
{
    EXPECT_EQ(characterCount("x\xe2\x82\xac"
                             "y"),
              3u);                                             // a euro sign is one
    EXPECT_EQ(characterCount("\xf0\x9f\x98\x80\xff\x80"), 3u); // an emoji, two stray bytes
    EXPECT_EQ(characterCount("\xe2\x82"), 2u);                 // a sequence cut short
    EXPECT_EQ(printable("--\x1b]0;T\x07"), "--\\x1b]0;T\\x07");
    EXPECT_EQ(printable("a\xc2\x9b"
                        "b\xc2\xa0"
                        "c\x7f"),
              "a\\xc2\\x9bb\xc2\xa0"
              "c\\x7f");
    EXPECT_EQ(printable("\xed\xa0\x80"), "\\xed\\xa0\\x80"); // a surrogate is no text
    EXPECT_EQ(printable("\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac", 2), "\xe2\x82\xac\xe2\x82\xac...");
    Expression f;
    ExpressionError error;
    std::string euros;
    for (int i = 0; i < 1200; ++i) {
        euros += "\xe2\x82\xac";
    }
    EXPECT_FALSE(f.read(euros, error));
    EXPECT_NE(error.message.find("it is 1200 characters long"), std::string::npos) << error.message;
}

// The grid's cells are read digit by digit and never wrap, whatever the
// number's size; the sentence repeats the text as given.
TEST(Arguments, CellsAreAWholeNumberInRange)
{
    int cells = 7;
    std::string why;
    EXPECT_TRUE(readCells("400", 400, cells, why));
    EXPECT_EQ(cells, 400);
    EXPECT_TRUE(readCells("0001", 400, cells, why));
    EXPECT_EQ(cells, 1);
    for (const char* refused : {"", "0", "401", "4294967297", "4294967296", "18446744073709551617",
                                "1e10", "-1", "+5", " 5", "5.0", "60x"}) {
        cells = 7;
        EXPECT_FALSE(readCells(refused, 400, cells, why)) << refused;
        EXPECT_EQ(cells, 7) << refused;
        EXPECT_EQ(why,
                  std::string("a whole number of cells from 1 to 400, not \"") + refused + "\"");
    }
}

} // namespace
