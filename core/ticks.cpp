// ticks.cpp - nice ticks and how their numbers are written.
#include "ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

// Ticks this close to a multiple of the step (as a share of the step)
// count as on it: 0.3 / 0.1 is 2.9999999999999996 in doubles.
static constexpr double ON_TICK = 1e-9;

// A range narrower than this share of its values has no ticks of its own
// that a double could tell apart: it is written as one value.
static constexpr double NARROWEST_RANGE = 1e-12;

// Plain decimals from 1e-3 up to below 1e6; beyond, a power of ten.
static constexpr double SMALLEST_PLAIN = 1e-3;
static constexpr double LARGEST_PLAIN = 1e6;

// 10^k, exact for |k| <= 22.
static double powerOfTen(int k)
{
    return std::pow(10.0, k);
}

// n steps of m * 10^k, rounded once: 3 * 1 / 10 is 0.3, where 3 * 0.1
// would be 0.30000000000000004.
static double tickValue(double n, int m, int k)
{
    return k < 0 ? n * m / powerOfTen(-k) : n * m * powerOfTen(k);
}

// The exponent e with 10^e <= a < 10^(e + 1), for a > 0.
static int decade(double a)
{
    int e = static_cast<int>(std::floor(std::log10(a)));
    if (powerOfTen(e) > a) {
        --e;
    } else if (powerOfTen(e + 1) <= a) {
        ++e;
    }
    return e;
}

// "1.5e+30" becomes "1.5e30" and "2e-07" "2e-7".
static std::size_t tidyExponent(char* text)
{
    char* e = std::strchr(text, 'e');
    if (e != nullptr) {
        char* digits = e + 1;
        char* to = digits;
        if (*digits == '+' || *digits == '-') {
            if (*digits == '-') {
                *to++ = '-';
            }
            ++digits;
        }
        while (*digits == '0' && digits[1] != '\0') {
            ++digits;
        }
        std::memmove(to, digits, std::strlen(digits) + 1);
    }
    return std::strlen(text);
}

// "-0", "-0.00": a zero has no sign.
static void unsignZero(char* text)
{
    if (text[0] == '-' && std::strspn(text + 1, "0.") == std::strlen(text + 1)) {
        std::memmove(text, text + 1, std::strlen(text));
    }
}

Ticks niceTicks(double low, double high)
{
    Ticks ticks;
    if (!std::isfinite(low) || !std::isfinite(high)) {
        return ticks;
    }
    if (low > high) {
        std::swap(low, high);
    }
    ticks.low = low;
    ticks.high = high;
    // Half the range: the whole one may not fit in a double (-1e308 to 1e308).
    const double half = high / 2.0 - low / 2.0;
    const double largest = std::max(std::fabs(low), std::fabs(high));
    if (!(half > largest * NARROWEST_RANGE) || !std::isnormal(half)) {
        ticks.count = 1;
        ticks.value[0] = low == high ? low : low / 2.0 + high / 2.0;
        return ticks;
    }

    // Steps from one larger than the range down to a thousandth of it,
    // the largest first: the first one with 4 to 8 ticks inside the range
    // is taken.  From 5 to 2 times a power of ten the count can jump from
    // 3 to 9; then the step of 5 is kept and the axis widened to the
    // ticks just outside it, which makes 5 or 6.
    static constexpr int MANTISSAS[3] = {5, 2, 1};
    const int top = decade(half) + 1;
    int m = 0, k = 0;
    double first = 0.0, last = 0.0;
    for (int e = top; e >= top - 4 && ticks.count == 0; --e) {
        for (const int mantissa : MANTISSAS) {
            const double step = mantissa * powerOfTen(e);
            if (!std::isfinite(step) || !(step > 0.0)) {
                continue;
            }
            const double from = std::ceil(low / step - ON_TICK);
            const double to = std::floor(high / step + ON_TICK);
            if (to - from + 1.0 > MAX_TICKS) {
                // The step before (m, k) gave too few: widen it.
                const double wide = tickValue(1.0, m, k);
                first = std::floor(low / wide + ON_TICK);
                last = std::ceil(high / wide - ON_TICK);
                ticks.low = tickValue(first, m, k);
                ticks.high = tickValue(last, m, k);
                ticks.count = static_cast<int>(last - first + 1.0);
                break;
            }
            m = mantissa;
            k = e;
            first = from;
            last = to;
            if (to - from + 1.0 >= MIN_TICKS) {
                ticks.count = static_cast<int>(to - from + 1.0);
                break;
            }
        }
    }
    for (int i = 0; i < ticks.count; ++i) {
        ticks.value[i] = tickValue(first + i, m, k);
    }
    ticks.step = tickValue(1.0, m, k);

    // One way of writing for the whole axis: plain decimals, as many as
    // the step has, or where the numbers are very large or very small a
    // power of ten with as many decimals as the longest of them needs.
    double widest = 0.0;
    for (int i = 0; i < ticks.count; ++i) {
        widest = std::max(widest, std::fabs(ticks.value[i]));
    }
    ticks.powerOfTen = widest >= LARGEST_PLAIN || widest < SMALLEST_PLAIN;
    if (!ticks.powerOfTen) {
        ticks.decimals = std::max(0, -k);
    } else {
        for (int i = 0; i < ticks.count; ++i) {
            if (ticks.value[i] != 0.0) {
                ticks.decimals = std::max(ticks.decimals, decade(std::fabs(ticks.value[i])) - k);
            }
        }
    }
    return ticks;
}

std::size_t formatValue(char* out, std::size_t size, double value)
{
    if (size == 0) {
        return 0;
    }
    if (!std::isfinite(value)) {
        out[0] = '\0';
        return 0;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value == 0.0 ? 0.0 : value);
    tidyExponent(text);
    std::snprintf(out, size, "%s", text);
    return std::strlen(out);
}

std::size_t formatTick(char* out, std::size_t size, const Ticks& ticks, int index)
{
    if (size == 0) {
        return 0;
    }
    if (index < 0 || index >= ticks.count) {
        out[0] = '\0';
        return 0;
    }
    if (ticks.count == 1) {
        return formatValue(out, size, ticks.value[0]);
    }
    const double value = ticks.value[index];
    char text[48];
    if (ticks.powerOfTen) {
        if (value == 0.0) {
            std::snprintf(text, sizeof text, "0");
        } else {
            std::snprintf(text, sizeof text, "%.*e", ticks.decimals, value);
            tidyExponent(text);
        }
    } else {
        std::snprintf(text, sizeof text, "%.*f", ticks.decimals, value);
        unsignZero(text);
    }
    std::snprintf(out, size, "%s", text);
    return std::strlen(out);
}
