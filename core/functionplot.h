// functionplot.h - lesson 9's plot of the learner's function, for the
// lessons after it.
//
// Lesson 9 teaches it inline: f evaluated over the grid, its range on the
// grid fitted into the heights 1 to 6, each point's level in that range
// for the colour map, the normals from the neighbours, the cells where f
// has no finite value left out, and the surface drawn by its corners'
// indices.  Lessons 10 and 11 plot the same way, with these few names,
// and spend their lines on what they add.  The shaders stay in each
// lesson; what they are handed is fixed here: a Vertex's position at
// attribute 0, its normal at 1 and its level at 2.
#ifndef FUNCTIONPLOT_H
#define FUNCTIONPLOT_H

#include "expression.h"
#include "modern.h"

#include <cstddef>
#include <string>
#include <vector>

// What a vertex of the plot carries: where it is, its normal, and the
// level of its height between the lowest (0) and the highest (1).
struct Vertex {
    Float3 position;
    Float3 normal;
    float level;
};

constexpr GLuint POSITION_ATTRIBUTE = 0;
constexpr GLuint NORMAL_ATTRIBUTE = 1;
constexpr GLuint LEVEL_ATTRIBUTE = 2;

// The heights the surface is fitted into: the lowest value of f on the
// grid at 1, above the grid plane at 0, and the highest at 6.  The
// highest point may be at a corner, and from the start a far corner at 6
// stays well inside the window (79% of the way from its centre to the
// top edge).  A constant f: halfway.
constexpr double LOWEST_DRAWN = 1.0;
constexpr double HIGHEST_DRAWN = 6.0;

// The colour key's strip, in the window's own coordinates (-1 to 1 across
// and up): near the right edge, over most of the height, clear of the
// square's right corner (at 0.88 from the start).
constexpr float KEY_LEFT = 0.92f;
constexpr float KEY_RIGHT = 0.97f;
constexpr float KEY_BOTTOM = -0.8f;
constexpr float KEY_TOP = 0.8f;

// A function as it is plotted.  vertices holds the grid plane's lines
// (gridVertices of them, drawn as GL_LINES), the key's two triangles
// (keyVertices), then from gridFirst on every point of the grid once,
// (cells + 1) x (cells + 1) of them, point (i, j) at gridFirst + i *
// (cells + 1) + j with x growing with i.  corners are the surface's
// triangles, two a cell, as indices into vertices (surfaceCorners of
// them).
struct FunctionPlot {
    Expression function;
    double lowest = 0.0;
    double highest = 0.0;
    int cells = 0;
    std::vector<Vertex> vertices;
    std::vector<GLuint> corners;
    GLsizei gridVertices = 0;
    GLsizei keyVertices = 0;
    GLsizei surfaceCorners = 0;
    std::size_t gridFirst = 0;

    // Where f lies between the lowest and highest value, 0 to 1 (0.5 for
    // a constant).
    double levelOf(double f) const;
};

// Reads text as the function, evaluates it over a grid of cells x cells
// and fills plot with it.  Returns false with the reason in message if it
// cannot be plotted, plot left as it was; otherwise message says what a
// learner should know that the picture cannot: cells left out, and the
// key's ends (arguments.h's plotReport).
bool plotFunction(const std::string& text, int cells, FunctionPlot& plot, std::string& message);

// Hands plot's vertices and corners to the buffers, replacing what they
// held, with vertexArray bound (it keeps the element buffer's binding).
void uploadPlot(const FunctionPlot& plot, GLuint vertexArray, GLuint buffer, GLuint elementBuffer);

// Where a Vertex's attributes are in the buffer bound to GL_ARRAY_BUFFER,
// for the vertex array that is bound.
void describeVertices();

#endif
