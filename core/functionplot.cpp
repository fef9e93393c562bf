// functionplot.cpp - the plot of lesson 9, written once for the lessons
// after it.  Lesson 9 itself has the same code inline, where it is taught.
#include "functionplot.h"

#include "arguments.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

// The grid plane is drawn with about this many lines each way whatever
// the cells, so that a fine grid does not paint the plane black.
static constexpr int PLANE_LINES = 28;

double FunctionPlot::levelOf(double f) const
{
    // Halving both sides first keeps the difference finite for values
    // near the largest a double holds.  A constant has no range.
    const double range = highest / 2.0 - lowest / 2.0;
    if (!(range > 0.0)) {
        return 0.5;
    }
    return (f / 2.0 - lowest / 2.0) / range;
}

// The plot whose vertices are being computed, for drawnHeight, which
// plotcore's vertexNormal calls as a plain function of x and y.
static const FunctionPlot* fitting = nullptr;

// The surface as it is drawn: f scaled into 1 to 6.  Not finite where f
// is not.
static float drawnHeight(float x, float y)
{
    const double f = fitting->function(x, y);
    const double z = LOWEST_DRAWN + fitting->levelOf(f) * (HIGHEST_DRAWN - LOWEST_DRAWN);
    // A neighbour just outside the square may lie far outside the range
    // (exp(100 * x) at x = 5.2), beyond what a float holds: converting
    // such a double to float is undefined, so it becomes an infinity and
    // the normal there comes from the triangle instead.
    if (std::fabs(z) > FLT_MAX) {
        return z > 0.0 ? INFINITY : -INFINITY;
    }
    return static_cast<float>(z);
}

// The i-th of cells + 1 grid coordinates from -5 to 5, computed in double
// and rounded once, so that 0 is on the grid when cells is even.
static float gridCoordinate(int i, int cells)
{
    return static_cast<float>(GRID_MIN + (double(GRID_MAX) - GRID_MIN) * i / cells);
}

// The normal at a grid point next to one that is left out, where
// vertexNormal has no neighbour to go on: from the slopes towards the
// neighbours on the grid that do have a height, one each way if there is
// one, or straight up.
static Float3 sideNormal(const std::vector<Vertex>& grid, int points, int i, int j)
{
    const Float3 p = grid[static_cast<std::size_t>(i) * points + j].position;
    auto slope = [&](int di, int dj) {
        for (const int sign : {1, -1}) {
            const int ni = i + sign * di, nj = j + sign * dj;
            if (ni >= 0 && nj >= 0 && ni < points && nj < points) {
                const Float3 q = grid[static_cast<std::size_t>(ni) * points + nj].position;
                if (finite(q)) {
                    return Float3{(q.x - p.x) * sign, (q.y - p.y) * sign, (q.z - p.z) * sign};
                }
            }
        }
        return Float3{static_cast<float>(di), static_cast<float>(dj), 0.0f};
    };
    return normalize(cross(slope(1, 0), slope(0, 1)));
}

bool plotFunction(const std::string& text, int cells, FunctionPlot& plot, std::string& message)
{
    Expression candidate;
    if (!readFunction(text, candidate, message)) {
        return false;
    }

    // f at every grid point, and its range where it is finite.
    const int points = cells + 1;
    std::vector<double> values(static_cast<std::size_t>(points) * points);
    double low = INFINITY;
    double high = -INFINITY;
    for (int i = 0; i < points; ++i) {
        for (int j = 0; j < points; ++j) {
            const double f = candidate(gridCoordinate(i, cells), gridCoordinate(j, cells));
            values[static_cast<std::size_t>(i) * points + j] = f;
            if (std::isfinite(f)) {
                low = std::min(low, f);
                high = std::max(high, f);
            }
        }
    }
    if (!(low <= high)) {
        message = functionName(text) + " has no finite value anywhere on the grid, -5 <= x, y " +
                  "<= 5, so there is no surface to draw.";
        return false;
    }
    plot.function = std::move(candidate);
    // Adding 0 makes a negative zero (the highest of -x^2) plain 0, as
    // the key should show it.
    plot.lowest = low + 0.0;
    plot.highest = high + 0.0;
    plot.cells = cells;
    const float step = (GRID_MAX - GRID_MIN) / static_cast<float>(cells);

    // The grid plane at z = 0: every k-th line of the grid, and the far
    // edges.  No light falls on black, so the normal is never used.
    std::vector<Vertex>& vertices = plot.vertices;
    vertices.clear();
    const int every = (cells + PLANE_LINES - 1) / PLANE_LINES;
    const Float3 up = {0.0f, 0.0f, 1.0f};
    std::vector<int> lines;
    for (int i = 0; i < cells; i += every) {
        lines.push_back(i);
    }
    lines.push_back(cells);
    for (const int i : lines) {
        const float c = gridCoordinate(i, cells);
        vertices.push_back({{c, GRID_MIN, 0.0f}, up, 0.0f});
        vertices.push_back({{c, GRID_MAX, 0.0f}, up, 0.0f});
        vertices.push_back({{GRID_MIN, c, 0.0f}, up, 0.0f});
        vertices.push_back({{GRID_MAX, c, 0.0f}, up, 0.0f});
    }
    plot.gridVertices = static_cast<GLsizei>(vertices.size());

    // The key: a strip from level 0 at the bottom to 1 at the top.
    const Vertex key[4] = {{{KEY_LEFT, KEY_BOTTOM, 0.0f}, up, 0.0f},
                           {{KEY_RIGHT, KEY_BOTTOM, 0.0f}, up, 0.0f},
                           {{KEY_RIGHT, KEY_TOP, 0.0f}, up, 1.0f},
                           {{KEY_LEFT, KEY_TOP, 0.0f}, up, 1.0f}};
    for (const int corner : {0, 1, 2, 0, 2, 3}) {
        vertices.push_back(key[corner]);
    }
    plot.keyVertices = 6;

    // Every grid point's position and level, then its normal: from its
    // neighbours, with plotcore's vertexNormal.
    const std::size_t first = vertices.size();
    std::vector<Vertex> grid(values.size());
    fitting = &plot;
    for (int i = 0; i < points; ++i) {
        for (int j = 0; j < points; ++j) {
            const std::size_t at = static_cast<std::size_t>(i) * points + j;
            const float x = gridCoordinate(i, cells);
            const float y = gridCoordinate(j, cells);
            grid[at].position = {x, y, drawnHeight(x, y)};
            grid[at].level = static_cast<float>(plot.levelOf(values[at]));
        }
    }
    for (int i = 0; i < points; ++i) {
        for (int j = 0; j < points; ++j) {
            Vertex& v = grid[static_cast<std::size_t>(i) * points + j];
            if (finite(v.position)) {
                vertexNormal(v.normal, v.position, drawnHeight, step);
                if (!finite(v.normal)) {
                    v.normal = sideNormal(grid, points, i, j);
                }
            }
        }
    }
    fitting = nullptr;
    vertices.insert(vertices.end(), grid.begin(), grid.end());
    plot.gridFirst = first;

    // The surface: two triangles per cell that share the diagonal from its
    // lower corner to its upper one, for every cell whose four corners
    // have a finite value.
    std::vector<GLuint>& corners = plot.corners;
    corners.clear();
    long leftOut = 0;
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const std::size_t at = static_cast<std::size_t>(i) * points + j;
            const std::size_t c00 = at, c10 = at + points, c11 = at + points + 1, c01 = at + 1;
            if (!finite(grid[c00].position) || !finite(grid[c10].position) ||
                !finite(grid[c11].position) || !finite(grid[c01].position)) {
                ++leftOut;
                continue;
            }
            for (const std::size_t corner : {c00, c10, c11, c00, c11, c01}) {
                corners.push_back(static_cast<GLuint>(first + corner));
            }
        }
    }
    plot.surfaceCorners = static_cast<GLsizei>(corners.size());

    message = plotReport(leftOut, cells, plot.lowest, plot.highest, LOWEST_DRAWN, HIGHEST_DRAWN);
    return true;
}

void uploadPlot(const FunctionPlot& plot, GLuint vertexArray, GLuint buffer, GLuint elementBuffer)
{
    glBindVertexArray(vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(plot.vertices.size() * sizeof(Vertex)),
                 plot.vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elementBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(plot.corners.size() * sizeof(GLuint)), plot.corners.data(),
                 GL_STATIC_DRAW);
}

void describeVertices()
{
    glVertexAttribPointer(POSITION_ATTRIBUTE, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(POSITION_ATTRIBUTE);
    glVertexAttribPointer(NORMAL_ATTRIBUTE, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, normal)));
    glEnableVertexAttribArray(NORMAL_ATTRIBUTE);
    glVertexAttribPointer(LEVEL_ATTRIBUTE, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, level)));
    glEnableVertexAttribArray(LEVEL_ATTRIBUTE);
}
