// pick.h - the point of the surface under a pixel.
//
// A lesson drawn with buffers keeps its grid's points in a vertex buffer
// and draws each cell as two triangles that share the diagonal from the
// cell's lower corner to its upper one.  WebGL 2 cannot read the depth
// buffer back, so the point under the mouse is found as the picture was
// made, in reverse: the pixel's ray is cast into the scene and met with
// those same triangles.  Only the cells the ray crosses over the grid are
// tried, in the order it crosses them, so a pick costs a few hundred
// triangle tests even at 400 x 400 cells, and nothing is allocated.
#ifndef PICK_H
#define PICK_H

#include <cstddef>

#include "plotcore.h"

// The grid's points as the lesson keeps them: (cells + 1) x (cells + 1)
// positions, point (i, j) at index i * (cells + 1) + j, x growing with i
// and y with j, stride bytes apart (the size of the lesson's vertex).  A
// cell with a corner that is not finite is left out, as in the drawing.
struct GridPoints {
    int cells = 0;
    const Float3* first = nullptr;
    std::size_t stride = sizeof(Float3);
};

// A ray: the points origin + t * direction for t >= 0.
struct Ray {
    double origin[3];
    double direction[3];
};

// Where a ray meets the surface.  found is false where it meets nothing;
// otherwise (i, j) is the cell, triangle 0 the one with corners (i, j),
// (i + 1, j), (i + 1, j + 1) and 1 the one with (i, j), (i + 1, j + 1),
// (i, j + 1), t the ray's parameter and point the place it meets it.
struct Hit {
    bool found = false;
    int i = 0;
    int j = 0;
    int triangle = 0;
    double t = 0.0;
    double point[3] = {0.0, 0.0, 0.0};
};

// The ray through a point of the window given in normalized device
// coordinates (-1 to 1 from left to right and bottom to top), from the
// near plane to the far one: the inverse of projection times view,
// column-major as OpenGL and GLM keep matrices, takes the two ends of the
// pixel's line of sight back into the scene.
Ray pixelRay(const double inverseProjectionView[16], double ndcX, double ndcY);

// The nearest point where the ray meets the surface, walking the cells
// it crosses.
Hit pickSurface(const GridPoints& grid, const Ray& ray);

// The same by trying every triangle of the grid: slow, and plainly right.
Hit pickEveryTriangle(const GridPoints& grid, const Ray& ray);

#endif
