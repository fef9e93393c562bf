// pick.cpp - casting a pixel's ray and meeting the surface's triangles.
#include "pick.h"

#include <cmath>

// A ray that meets a triangle on its edge (within this share of the
// edge, in barycentric terms) meets it: a pick on the line between two
// triangles or two cells finds one of them, not a gap.
static constexpr double ON_EDGE = 1e-9;

// Below this a ray runs along the triangle's plane and meets it nowhere.
static constexpr double PARALLEL = 1e-18;

static const Float3& pointAt(const GridPoints& grid, int i, int j)
{
    const std::size_t index = static_cast<std::size_t>(i) * (grid.cells + 1) + j;
    return *reinterpret_cast<const Float3*>(reinterpret_cast<const char*>(grid.first) +
                                            index * grid.stride);
}

// The ray's parameter where it meets the triangle abc, or a negative
// number if it does not (Moller and Trumbore's test, in double).
static double meet(const Ray& ray, const Float3& a, const Float3& b, const Float3& c)
{
    const double* o = ray.origin;
    const double* d = ray.direction;
    const double e1[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double e2[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2],
                         d[0] * e2[1] - d[1] * e2[0]};
    const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (std::fabs(det) < PARALLEL) {
        return -1.0;
    }
    const double s[3] = {o[0] - a.x, o[1] - a.y, o[2] - a.z};
    const double u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) / det;
    if (u < -ON_EDGE || u > 1.0 + ON_EDGE) {
        return -1.0;
    }
    const double q[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2],
                         s[0] * e1[1] - s[1] * e1[0]};
    const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) / det;
    if (v < -ON_EDGE || u + v > 1.0 + ON_EDGE) {
        return -1.0;
    }
    return (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
}

// Tries the two triangles of cell (i, j), as the lessons draw them, and
// keeps in best whichever is nearer than what it holds.
static void tryCell(const GridPoints& grid, const Ray& ray, int i, int j, Hit& best)
{
    const Float3& c00 = pointAt(grid, i, j);
    const Float3& c10 = pointAt(grid, i + 1, j);
    const Float3& c11 = pointAt(grid, i + 1, j + 1);
    const Float3& c01 = pointAt(grid, i, j + 1);
    if (!finite(c00) || !finite(c10) || !finite(c11) || !finite(c01)) {
        return;
    }
    const double t[2] = {meet(ray, c00, c10, c11), meet(ray, c00, c11, c01)};
    for (int triangle = 0; triangle < 2; ++triangle) {
        if (t[triangle] >= 0.0 && (!best.found || t[triangle] < best.t)) {
            best.found = true;
            best.i = i;
            best.j = j;
            best.triangle = triangle;
            best.t = t[triangle];
        }
    }
}

static Hit finished(const Ray& ray, Hit hit)
{
    for (int k = 0; k < 3 && hit.found; ++k) {
        hit.point[k] = ray.origin[k] + hit.t * ray.direction[k];
    }
    return hit;
}

Ray pixelRay(const double m[16], double ndcX, double ndcY)
{
    // A point (ndcX, ndcY, z, 1) taken back through the inverse, then
    // divided by its w: z = -1 is the near plane, z = 1 the far one.
    double ends[2][3];
    for (int e = 0; e < 2; ++e) {
        const double z = e == 0 ? -1.0 : 1.0;
        double r[4];
        for (int row = 0; row < 4; ++row) {
            r[row] = m[row] * ndcX + m[4 + row] * ndcY + m[8 + row] * z + m[12 + row];
        }
        for (int k = 0; k < 3; ++k) {
            ends[e][k] = r[k] / r[3];
        }
    }
    Ray ray;
    for (int k = 0; k < 3; ++k) {
        ray.origin[k] = ends[0][k];
        ray.direction[k] = ends[1][k] - ends[0][k];
    }
    return ray;
}

Hit pickEveryTriangle(const GridPoints& grid, const Ray& ray)
{
    Hit best;
    for (int i = 0; i < grid.cells; ++i) {
        for (int j = 0; j < grid.cells; ++j) {
            tryCell(grid, ray, i, j, best);
        }
    }
    return finished(ray, best);
}

// The grid line of column (or row) k: x of point (k, 0), or y of (0, k).
static double lineAt(const GridPoints& grid, int axis, int k)
{
    return axis == 0 ? pointAt(grid, k, 0).x : pointAt(grid, 0, k).y;
}

Hit pickSurface(const GridPoints& grid, const Ray& ray)
{
    Hit best;
    if (grid.cells < 1) {
        return best;
    }
    // Where the ray is over the grid's square, seen from above: the part
    // of it between the square's sides in x and in y, from t = 0 on.
    double enter = 0.0;
    double leave = INFINITY;
    for (int axis = 0; axis < 2; ++axis) {
        const double low = lineAt(grid, axis, 0);
        const double high = lineAt(grid, axis, grid.cells);
        const double o = ray.origin[axis];
        const double d = ray.direction[axis];
        if (d == 0.0) {
            if (o < low || o > high) {
                return best;
            }
            continue;
        }
        const double t0 = (low - o) / d;
        const double t1 = (high - o) / d;
        enter = std::fmax(enter, std::fmin(t0, t1));
        leave = std::fmin(leave, std::fmax(t0, t1));
    }
    if (!(enter <= leave)) {
        return best;
    }

    // The cell where the ray comes over the square: a guess from the
    // even spacing, then moved to the lines that hold it.
    int cell[2];
    for (int axis = 0; axis < 2; ++axis) {
        const double low = lineAt(grid, axis, 0);
        const double high = lineAt(grid, axis, grid.cells);
        const double at = ray.origin[axis] + enter * ray.direction[axis];
        int k = static_cast<int>(std::floor((at - low) / (high - low) * grid.cells));
        k = k < 0 ? 0 : (k > grid.cells - 1 ? grid.cells - 1 : k);
        while (k > 0 && at < lineAt(grid, axis, k)) {
            --k;
        }
        while (k < grid.cells - 1 && at > lineAt(grid, axis, k + 1)) {
            ++k;
        }
        cell[axis] = k;
    }

    // From cell to cell across the grid lines in the order the ray meets
    // them.  A hit lies in the cell the ray is over when it is found, so
    // the first cell with one holds the nearest; the cell after it is
    // tried too, for a hit on the line between them.
    bool lastCell = false;
    for (;;) {
        tryCell(grid, ray, cell[0], cell[1], best);
        if (lastCell) {
            break;
        }
        lastCell = best.found;
        double next[2];
        int step[2];
        for (int axis = 0; axis < 2; ++axis) {
            const double d = ray.direction[axis];
            step[axis] = d > 0.0 ? 1 : -1;
            next[axis] =
                d == 0.0
                    ? INFINITY
                    : (lineAt(grid, axis, cell[axis] + (d > 0.0 ? 1 : 0)) - ray.origin[axis]) / d;
        }
        const int axis = next[0] <= next[1] ? 0 : 1;
        if (next[axis] > leave) {
            break;
        }
        cell[axis] += step[axis];
        if (cell[axis] < 0 || cell[axis] >= grid.cells) {
            break;
        }
    }
    return finished(ray, best);
}
