// Lesson 5: adding the domain grid.
//
// The smooth surface of lesson 4, lifted so that it floats at least one
// unit above the plane z = 0, and under it the outline of every grid cell
// drawn in black in that plane.  There is no depth buffer: the grid is
// hidden behind the surface only because of the order things are drawn in.
#include "plotcore.h"

// The surface this lesson plots: the bump of lesson 4 on a plinth of 1.
static const HeightFn HEIGHT = raisedBumpHeight;

static void display()
{
    beginFrame(GL_SMOOTH);

    forEachCell([](float x, float y, float x1, float y1) {
        const Float3 c00 = {x, y, HEIGHT(x, y)};
        const Float3 c10 = {x1, y, HEIGHT(x1, y)};
        const Float3 c11 = {x1, y1, HEIGHT(x1, y1)};
        const Float3 c01 = {x, y1, HEIGHT(x, y1)};

        // Normals per vertex, not per quad.  Each depends only on the
        // vertex, so the four cells around a vertex agree on it exactly.
        Float3 n00, n10, n11, n01;
        vertexNormal(n00, c00, HEIGHT);
        vertexNormal(n10, c10, HEIGHT);
        vertexNormal(n11, c11, HEIGHT);
        vertexNormal(n01, c01, HEIGHT);

        // The surface of this cell.  The outline below switches the
        // polygon mode and colour, so both are set again for every cell.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glColor3f(0.0f, 1.0f, 0.0f);
        // A normal holds for every vertex that follows it, so each
        // glNormal3f comes just before its own glVertex3f.
        glBegin(GL_QUADS);
            glNormal3f(n00.x, n00.y, n00.z);
            glVertex3f(c00.x, c00.y, c00.z);
            glNormal3f(n10.x, n10.y, n10.z);
            glVertex3f(c10.x, c10.y, c10.z);
            glNormal3f(n11.x, n11.y, n11.z);
            glVertex3f(c11.x, c11.y, c11.z);
            glNormal3f(n01.x, n01.y, n01.z);
            glVertex3f(c01.x, c01.y, c01.z);
        glEnd();

        // The same cell's outline in the plane z = 0.  From the eye at
        // (10, 10, 10) the surface over a line lies in cells further along
        // in x and y, which are drawn later and paint over it; this cell's
        // own surface never covers its own outline.  No normal is given:
        // black stays black whatever the lighting.
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glColor3f(0.0f, 0.0f, 0.0f);
        glBegin(GL_QUADS);
            glVertex3f(x, y, 0.0f);
            glVertex3f(x1, y, 0.0f);
            glVertex3f(x1, y1, 0.0f);
            glVertex3f(x, y1, 0.0f);
        glEnd();
    });

    glutSwapBuffers();
}

int main(int argc, char** argv)
{
    return runLesson(argc, argv, "5. Adding the domain grid", display);
}
