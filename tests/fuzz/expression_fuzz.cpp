// A libFuzzer target for the expression language: any bytes at all go in.
// Besides the sanitizers' checks (no overflow of the parser's recursion or
// the evaluation stack, no read past the text), it checks what a caller
// relies on: a refusal says where and why, and a function read is
// evaluated the same way when wrapped in parentheses.
#include "expression.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

static bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Expression f;
    ExpressionError error;
    if (!f.read(text, error)) {
        if (error.message.empty() || error.column > text.size() + 1) {
            std::abort();
        }
        // A comma where a ')' should come is an argument too many, and is
        // said as such, not as a missing ')'.
        if (error.message.find("')' is missing") != std::string::npos && error.column >= 1 &&
            error.column <= text.size() && text[error.column - 1] == ',') {
            std::abort();
        }
        return 0;
    }
    Expression wrapped;
    if (!wrapped.read("(" + text + ")", error)) {
        // Only the limits may refuse what was read without the parentheses.
        if (text.size() + 2 <= Expression::MAX_LENGTH &&
            error.message.find("levels deep") == std::string::npos) {
            std::abort();
        }
        return 0;
    }
    const double points[][2] = {{0.0, 0.0}, {-5.0, 5.0}, {1.5, -2.25}};
    for (const auto& p : points) {
        if (!same(f(p[0], p[1]), wrapped(p[0], p[1]))) {
            std::abort();
        }
    }
    return 0;
}
