// expression.cpp - reads a learner's f(x, y) by recursive descent and
// evaluates it on a stack.
//
// The grammar, one function per rule, lowest precedence first:
//
//   sum     = product { ("+" | "-") product }
//   product = unary { ("*" | "/") unary }
//   unary   = "-" unary | power
//   power   = primary [ "^" unary ]
//   primary = number | name | name "(" sum [ "," sum ] ")" | "(" sum ")"
//
// Each rule appends the steps that compute its value after the steps of
// its operands, which is the order a stack machine wants (postfix).
#include "expression.h"

#include "text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

enum class Expression::Op : unsigned char {
    NUMBER,
    X,
    Y,
    NEGATE,
    ADD,
    SUBTRACT,
    MULTIPLY,
    DIVIDE,
    POWER,
    FUNCTION,
    MIN,
    MAX,
};

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double E = 2.71828182845904523536;

// The functions of one argument.  The casts pick the double overloads.
struct NamedFunction {
    const char* name;
    double (*function)(double);
};
const NamedFunction FUNCTIONS[] = {
    {"sin", static_cast<double (*)(double)>(std::sin)},
    {"cos", static_cast<double (*)(double)>(std::cos)},
    {"tan", static_cast<double (*)(double)>(std::tan)},
    {"asin", static_cast<double (*)(double)>(std::asin)},
    {"acos", static_cast<double (*)(double)>(std::acos)},
    {"atan", static_cast<double (*)(double)>(std::atan)},
    {"sinh", static_cast<double (*)(double)>(std::sinh)},
    {"cosh", static_cast<double (*)(double)>(std::cosh)},
    {"tanh", static_cast<double (*)(double)>(std::tanh)},
    {"exp", static_cast<double (*)(double)>(std::exp)},
    {"log", static_cast<double (*)(double)>(std::log)},
    {"log10", static_cast<double (*)(double)>(std::log10)},
    {"sqrt", static_cast<double (*)(double)>(std::sqrt)},
    {"abs", static_cast<double (*)(double)>(std::fabs)},
};
const char* const KNOWN_FUNCTIONS =
    "sin cos tan asin acos atan sinh cosh tanh exp log log10 sqrt abs min max";

using Op = Expression::Op;
using Step = Expression::Step;

class Parser {
  public:
    Parser(const std::string& text, std::vector<Step>& steps) : text_(text), steps_(steps) {}

    // Whether the text was read; if not, why not.
    bool failed() const
    {
        return failed_;
    }
    const ExpressionError& error() const
    {
        return error_;
    }

    void parse()
    {
        skipSpaces();
        sum();
        if (position_ >= text_.size()) {
            return;
        }
        if (text_[position_] == ')') {
            fail(position_, "this ')' closes no '('");
        } else if (text_[position_] == ',') {
            fail(position_, "a comma belongs only between the two arguments of min or max");
        } else if (std::string("+-*/^(.").find(text_[position_]) == std::string::npos &&
                   !std::isalnum(static_cast<unsigned char>(text_[position_])) &&
                   text_[position_] != '_') {
            fail(position_, found() + " is not part of the language, which has numbers, x, "
                                      "y, + - * / ^, parentheses and functions");
        } else {
            fail(position_, "an operator (+ - * / ^) is missing before " + found());
        }
    }

  private:
    // Keeps the first fault and jumps to the end of the text, from where
    // every rule returns at once: the parser unwinds without exceptions,
    // which the browser build leaves out.  What it emits on the way is
    // thrown away.
    void fail(std::size_t at, const std::string& message)
    {
        if (!failed_) {
            failed_ = true;
            error_ = {at + 1, message};
        }
        position_ = text_.size();
    }

    void emit(Op op, double value = 0.0, double (*function)(double) = nullptr)
    {
        steps_.push_back({op, value, function});
    }

    void skipSpaces()
    {
        while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t')) {
            ++position_;
        }
    }

    // The character at the current position, quoted, for a message.
    std::string found() const
    {
        if (position_ >= text_.size()) {
            return "the end";
        }
        return std::string("'") + text_[position_] + "'";
    }

    bool accept(char c)
    {
        if (position_ < text_.size() && text_[position_] == c) {
            ++position_;
            skipSpaces();
            return true;
        }
        return false;
    }

    // Every nesting (a parenthesis, an argument, a minus, an exponent)
    // passes through unary, which calls this on the way in.
    void deeper()
    {
        if (++depth_ > Expression::MAX_DEPTH) {
            fail(position_, "the expression nests more than " +
                                std::to_string(Expression::MAX_DEPTH) + " levels deep");
        }
    }

    void sum()
    {
        product();
        for (;;) {
            if (accept('+')) {
                product();
                emit(Op::ADD);
            } else if (accept('-')) {
                product();
                emit(Op::SUBTRACT);
            } else {
                return;
            }
        }
    }

    void product()
    {
        unary();
        for (;;) {
            if (accept('*')) {
                unary();
                emit(Op::MULTIPLY);
            } else if (accept('/')) {
                unary();
                emit(Op::DIVIDE);
            } else {
                return;
            }
        }
    }

    void unary()
    {
        deeper();
        if (accept('-')) {
            unary();
            emit(Op::NEGATE);
        } else {
            power();
        }
        --depth_;
    }

    void power()
    {
        primary();
        if (accept('^')) {
            unary();
            emit(Op::POWER);
        }
    }

    void primary()
    {
        if (position_ >= text_.size()) {
            fail(position_, "the expression ends where a number, x, y, a function or '(' "
                            "should come");
            return;
        }
        const char c = text_[position_];
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            number();
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            name();
        } else if (c == '(') {
            const std::size_t open = position_;
            accept('(');
            sum();
            if (position_ < text_.size() && text_[position_] == ',') {
                fail(position_, "a comma belongs only between the two arguments of min or max");
            } else if (!accept(')')) {
                fail(position_,
                     "a ')' is missing to close the '(' at column " + std::to_string(open + 1));
            }
        } else if (std::string("+-*/^),").find(c) != std::string::npos) {
            fail(position_, "a number, x, y, a function or '(' should come here, not " + found());
        } else {
            fail(position_, found() + " is not part of the language, which has numbers, x, y, "
                                      "+ - * / ^, parentheses and functions");
        }
    }

    // digits [ "." digits ] [ ("e" | "E") [ "+" | "-" ] digits ], or the
    // same starting at the point.
    void number()
    {
        const std::size_t start = position_;
        auto digits = [&] {
            std::size_t count = 0;
            while (position_ < text_.size() &&
                   std::isdigit(static_cast<unsigned char>(text_[position_]))) {
                ++position_;
                ++count;
            }
            return count;
        };
        std::size_t count = digits();
        if (position_ < text_.size() && text_[position_] == '.') {
            ++position_;
            count += digits();
        }
        if (count == 0) {
            fail(start, "a point alone is not a number: write 0.5 or .5");
            return;
        }
        if (position_ < text_.size() && (text_[position_] == 'e' || text_[position_] == 'E')) {
            // 2e is 2 times e only with an operator between: 2*e.
            std::size_t after = position_ + 1;
            if (after < text_.size() && (text_[after] == '+' || text_[after] == '-')) {
                ++after;
            }
            if (after >= text_.size() || !std::isdigit(static_cast<unsigned char>(text_[after]))) {
                fail(start, "'" + text_.substr(start, after - start) +
                                "' is not a number: an exponent needs digits, as in 1e3");
                return;
            }
            position_ = after;
            digits();
        }
        // The text is ASCII, and strtod reads it in the "C" locale that a
        // program starts in.
        const std::string literal = text_.substr(start, position_ - start);
        const double value = std::strtod(literal.c_str(), nullptr);
        if (!std::isfinite(value)) {
            fail(start, literal + " is too large for a number");
            return;
        }
        // A literal with a digit other than 0 before its exponent is not
        // zero, however small; taken as 0 it would silently change f.
        const std::size_t mantissa = literal.find_first_of("eE");
        if (value == 0.0 &&
            literal.substr(0, mantissa).find_first_of("123456789") != std::string::npos) {
            fail(start, literal + " is too small for a number: it would be taken as 0");
            return;
        }
        emit(Op::NUMBER, value);
        skipSpaces();
    }

    void name()
    {
        const std::size_t start = position_;
        while (position_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[position_])) ||
                text_[position_] == '_')) {
            ++position_;
        }
        const std::string word = text_.substr(start, position_ - start);
        skipSpaces();
        const bool call = position_ < text_.size() && text_[position_] == '(';
        const bool twoArguments = word == "min" || word == "max";
        double (*function)(double) = nullptr;
        for (const NamedFunction& f : FUNCTIONS) {
            if (word == f.name) {
                function = f.function;
            }
        }
        if (function == nullptr && !twoArguments) {
            if (call) {
                fail(start, "'" + word + "' is not a function the language knows; it knows " +
                                KNOWN_FUNCTIONS);
                return;
            }
            if (word == "x") {
                emit(Op::X);
            } else if (word == "y") {
                emit(Op::Y);
            } else if (word == "pi") {
                emit(Op::NUMBER, PI);
            } else if (word == "e") {
                emit(Op::NUMBER, E);
            } else {
                fail(start, "'" + word +
                                "' is not a name the language knows: the variables are "
                                "x and y, the constants pi and e");
            }
            return;
        }
        if (!call) {
            fail(start, word + " is a function: give its argument in parentheses, as in " + word +
                            (twoArguments ? "(x, y)" : "(x)"));
            return;
        }
        const std::size_t open = position_;
        accept('(');
        sum();
        if (twoArguments) {
            if (!accept(',')) {
                fail(position_,
                     word + " takes two arguments separated by a comma, as in " + word + "(x, y)");
                return;
            }
            sum();
            if (position_ < text_.size() && text_[position_] == ',') {
                fail(position_, word + " takes two arguments, not more");
                return;
            }
        } else if (position_ < text_.size() && text_[position_] == ',') {
            fail(position_, word + " takes one argument, not two");
            return;
        }
        if (!accept(')')) {
            fail(position_,
                 "a ')' is missing to close the '(' at column " + std::to_string(open + 1));
        }
        if (twoArguments) {
            emit(word == "min" ? Op::MIN : Op::MAX);
        } else {
            emit(Op::FUNCTION, 0.0, function);
        }
    }

    const std::string& text_;
    std::vector<Step>& steps_;
    std::size_t position_ = 0;
    int depth_ = 0;
    bool failed_ = false;
    ExpressionError error_;
};

} // namespace

bool Expression::read(const std::string& text, ExpressionError& error)
{
    const std::size_t length = characterCount(text);
    if (length > MAX_LENGTH) {
        error = {0, "it is " + std::to_string(length) + " characters long, and at most " +
                        std::to_string(MAX_LENGTH) + " are read"};
        return false;
    }
    // Only printable ASCII, spaces and tabs: anything else (a control
    // character, a byte of UTF-8 such as a typed multiplication sign, or
    // bytes that are not text at all) is no part of the language.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t') || c > 0x7e) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02x", c);
            error = {i + 1, std::string("the byte ") + code +
                                " is not plain text: the language is written in ASCII letters, "
                                "digits and + - * / ^ ( ) , (write * for a times sign)"};
            return false;
        }
    }
    if (text.find_first_not_of(" \t") == std::string::npos) {
        error = {0, "it is empty; give a function of x and y, such as sin(x) * cos(y)"};
        return false;
    }

    std::vector<Step> steps;
    Parser parser(text, steps);
    parser.parse();
    if (parser.failed()) {
        error = parser.error();
        return false;
    }

    // The deepest the stack gets, so that evaluation never grows it.
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (const Step& step : steps) {
        if (step.op == Op::NUMBER || step.op == Op::X || step.op == Op::Y) {
            deepest = std::max(deepest, ++depth);
        } else if (step.op != Op::NEGATE && step.op != Op::FUNCTION) {
            --depth;
        }
    }
    steps_ = std::move(steps);
    stack_.assign(deepest, 0.0);
    return true;
}

double Expression::operator()(double x, double y) const
{
    if (steps_.empty()) {
        return 0.0;
    }
    // The stack grows upwards from stack[0]; top counts the values on it.
    // An operator of two operands takes b from the top and a from below
    // it, and leaves its value in a's place.
    double* const stack = stack_.data();
    std::size_t top = 0;
    for (const Step& step : steps_) {
        if (step.op == Op::NUMBER || step.op == Op::X || step.op == Op::Y) {
            stack[top++] = step.op == Op::X ? x : step.op == Op::Y ? y : step.value;
            continue;
        }
        if (step.op == Op::NEGATE) {
            stack[top - 1] = -stack[top - 1];
            continue;
        }
        if (step.op == Op::FUNCTION) {
            stack[top - 1] = step.function(stack[top - 1]);
            continue;
        }
        const double b = stack[--top];
        double& a = stack[top - 1];
        switch (step.op) {
        case Op::ADD:
            a = a + b;
            break;
        case Op::SUBTRACT:
            a = a - b;
            break;
        case Op::MULTIPLY:
            a = a * b;
            break;
        case Op::DIVIDE:
            a = a / b;
            break;
        case Op::POWER:
            a = std::pow(a, b);
            break;
        // Undefined in, undefined out: std::fmin and std::fmax would
        // answer min(sqrt(-1), 1) with 1.
        case Op::MIN:
            a = (a < b || std::isnan(a)) ? a : b;
            break;
        case Op::MAX:
            a = (a > b || std::isnan(a)) ? a : b;
            break;
        default:
            break;
        }
    }
    return stack[0];
}
