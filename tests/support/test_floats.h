// test_floats.h - small helpers for tests that compare floats bit for bit.
#ifndef TEST_FLOATS_H
#define TEST_FLOATS_H

#include <cstdint>
#include <cstring>

inline std::uint32_t bitsOf(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

#endif
