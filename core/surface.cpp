// surface.cpp - the numbers behind every picture: vector helpers, the two
// height fields and the smoothed vertex normal.
//
// Every statement is one float operation or a short chain of them, written
// in the order they must be rounded; nothing is regrouped.
#include "plotcore.h"

#include <cmath>

Float3 cross(const Float3& a, const Float3& b)
{
    return Float3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Float3 normalize(const Float3& v)
{
    float length = std::sqrt((v.x * v.x + v.y * v.y) + v.z * v.z);
    // The guard keeps a zero vector zero instead of turning it into NaN.
    if (static_cast<double>(length) < NORMAL_EPSILON) {
        length = 1.0f;
    }
    return Float3{v.x / length, v.y / length, v.z / length};
}

bool finite(const Float3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// exp(-(x^2 + y^2) / 5), the shape both surfaces share.  Written as a
// division by -5, not a multiplication by -0.2: the two round differently.
static float gaussian(float x, float y)
{
    const float squares = x * x + y * y;
    return std::exp(squares / -5.0f);
}

float bumpHeight(float x, float y)
{
    return gaussian(x, y) * 8.0f;
}

float raisedBumpHeight(float x, float y)
{
    return gaussian(x, y) * 7.0f + 1.0f;
}

Float3& vertexNormal(Float3& out, const Float3& p, HeightFn H)
{
    return vertexNormal(out, p, H, GRID_STEP);
}

Float3& vertexNormal(Float3& out, const Float3& p, HeightFn H, float h)
{
    const float x = p.x;
    const float y = p.y;

    // The four neighbours one step away, evaluated from the height field
    // itself so that a vertex on the rim is treated like any other.
    const Float3 E = {x + h, y, H(x + h, y)};
    const Float3 W = {x - h, y, H(x - h, y)};
    const Float3 N = {x, y + h, H(x, y + h)};
    const Float3 S = {x, y - h, H(x, y - h)};

    // Edges from p to each neighbour, as differences of the rounded
    // coordinates rather than +-h.
    const Float3 e = {E.x - x, E.y - y, E.z - p.z};
    const Float3 n = {N.x - x, N.y - y, N.z - p.z};
    const Float3 w = {W.x - x, W.y - y, W.z - p.z};
    const Float3 s = {S.x - x, S.y - y, S.z - p.z};

    // The unit normals of the four triangles, going counter-clockwise
    // round p; each points up because every pair of edges turns left.
    const Float3 nEN = normalize(cross(e, n));
    const Float3 nNW = normalize(cross(n, w));
    const Float3 nWS = normalize(cross(w, s));
    const Float3 nSE = normalize(cross(s, e));

    const Float3 sum = {((nEN.x + nNW.x) + nWS.x) + nSE.x, ((nEN.y + nNW.y) + nWS.y) + nSE.y,
                        ((nEN.z + nNW.z) + nWS.z) + nSE.z};
    out = normalize(sum);
    return out;
}
