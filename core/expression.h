// expression.h - the small language in which a learner writes f(x, y).
//
//   numbers (2, 0.5, 1e30), x and y, the constants pi and e,
//   + - * / ^ and parentheses, unary minus,
//   sin cos tan asin acos atan sinh cosh tanh exp log log10 sqrt abs
//   (one argument each) and min max (two, separated by a comma).
//
// ^ binds tighter than unary minus and groups to the right, as on paper:
// -x^2 is -(x^2) and 2^3^2 is 2^9.  log is the natural logarithm.
//
// The text is read once into a list of steps for a small stack machine,
// so that evaluating it at the thousands of points of a grid is a loop,
// not a walk down a tree.  It is evaluated in double precision; where a
// value is not finite (log(0), 1/0, sqrt(-1)) it comes back as such and
// the caller decides what to do with that point.
#ifndef EXPRESSION_H
#define EXPRESSION_H

#include <cstddef>
#include <string>
#include <vector>

// Why a text could not be read: where (the column, from 1, of the byte
// at fault; the length plus one for "at the end") and what, as a phrase
// that completes "at column N, ...".  A column of 0 means the text as a
// whole (empty, too long).
struct ExpressionError {
    std::size_t column = 0;
    std::string message;
};

class Expression {
  public:
    // Longer texts are refused unread: a function a learner types is a
    // line, and a megabyte pasted by mistake should not be parsed.
    static constexpr std::size_t MAX_LENGTH = 1000;
    // Parentheses, arguments, unary minuses and exponents nest at most
    // this deep, which keeps the parser's recursion far from the end of
    // any stack.
    static constexpr int MAX_DEPTH = 100;

    // Reads text.  Returns false, with error filled in and this
    // expression unchanged, if it is not a function of the language.
    bool read(const std::string& text, ExpressionError& error);

    // f(x, y).  An expression never read is 0.
    double operator()(double x, double y) const;

    enum class Op : unsigned char;
    struct Step {
        Op op;
        double value;               // for a number
        double (*function)(double); // for a function of one argument
    };

  private:
    std::vector<Step> steps_;
    mutable std::vector<double> stack_;
};

#endif
