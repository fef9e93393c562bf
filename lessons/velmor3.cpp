// Lesson 3: a flat-shaded graph.
//
// The bump z = 8 exp(-(x^2 + y^2) / 5) drawn as 28 x 28 lit green quads.
// Each quad gets a single normal, worked out from two of its edges, and
// flat shading paints the whole quad in the one shade that normal gives.
// The result is a faceted surface: every cell is visible as a small tile.
#include "plotcore.h"

// The surface this lesson plots.
static const HeightFn HEIGHT = bumpHeight;

static void display()
{
    beginFrame(GL_FLAT);
    glColor3f(0.0f, 1.0f, 0.0f);

    forEachCell([](float x, float y, float x1, float y1) {
        // Set for every cell, although nothing here changes it; lesson 4
        // sets it once for the frame, lesson 5 needs it per cell again.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

        const float z00 = HEIGHT(x, y);
        const float z10 = HEIGHT(x1, y);
        const float z11 = HEIGHT(x1, y1);
        const float z01 = HEIGHT(x, y1);

        // One normal for the whole quad, from the two edges that leave the
        // corner (x, y): u goes to (x1, y), v to (x, y1).  Each edge is its
        // end minus its start, part by part, so the y part of u is y - y
        // and the x part of v is x - x: both zero, written out so that all
        // six parts follow one pattern.  The fourth corner does not take
        // part, although the quad is not flat in general: flat shading
        // only needs a direction that is roughly right for the tile.
        const Float3 u = {x1 - x, y - y, z10 - z00};
        const Float3 v = {x - x, y1 - y, z01 - z00};
        const Float3 normal = normalize(cross(u, v));

        glBegin(GL_QUADS);
            glNormal3f(normal.x, normal.y, normal.z);
            glVertex3f(x, y, z00);
            glVertex3f(x1, y, z10);
            glVertex3f(x1, y1, z11);
            glVertex3f(x, y1, z01);
        glEnd();
    });

    glutSwapBuffers();
}

int main(int argc, char** argv)
{
    return runLesson(argc, argv, "3. Flat shaded graph", display);
}
