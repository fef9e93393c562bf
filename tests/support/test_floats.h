// test_floats.h - small helpers for tests that compare floats bit for bit.
#ifndef TEST_FLOATS_H
#define TEST_FLOATS_H

#include <array>
#include <cstdint>
#include <cstring>

inline std::uint32_t bitsOf(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// The bits of a vector's x, y and z, to compare vectors bit for bit.
template <typename Vector> std::array<std::uint32_t, 3> bitsOf(const Vector& v)
{
    return {bitsOf(v.x), bitsOf(v.y), bitsOf(v.z)};
}

#endif
