// ticks.h - the numbers along an axis, chosen and written as a person would.
//
// An axis from low to high gets its ticks at nice numbers: whole multiples
// of a step that is 1, 2 or 5 times a power of ten, 4 to 8 of them.  The
// numbers are written with the same number of decimals along one axis,
// never as 0.30000000000000004 or -0, and with a power of ten
// (1.5e-30, 2e30) where plain decimals would be very long.  Nothing here
// allocates: a frame may ask for its ticks every time it is drawn.
#ifndef TICKS_H
#define TICKS_H

#include <cstddef>

constexpr int MIN_TICKS = 4;
constexpr int MAX_TICKS = 8;

// The ticks of one axis.  count is 0 when low or high is not finite, 1
// when the range is a single value (a constant f).  The ticks lie within
// [low, high]; only where no nice step gives 4 to 8 of them inside it (a
// range 3.2 to 4 times a step of 5) is the axis widened to the nearest
// ticks outside, and low and high say how far it then reaches.
struct Ticks {
    int count = 0;
    double value[MAX_TICKS] = {};
    double low = 0.0;
    double high = 0.0;
    double step = 0.0;
    // How the numbers are written: decimals after the point, and whether
    // with a power of ten.
    int decimals = 0;
    bool powerOfTen = false;
};

// The ticks of an axis from low to high (in either order).
Ticks niceTicks(double low, double high);

// Writes ticks.value[index] into out (at most size bytes with its
// terminating zero) as the axis writes it, e.g. "0.5", "-2", "1.2e-30".
// Returns the length written.
std::size_t formatTick(char* out, std::size_t size, const Ticks& ticks, int index);

// Writes any value as a label beside the mouse would, with six significant
// digits and no trailing zeros; "" for a value that is not finite.
std::size_t formatValue(char* out, std::size_t size, double value);

#endif
