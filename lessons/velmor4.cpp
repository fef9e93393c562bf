// Lesson 4: a smooth-shaded graph.
//
// The same bump and the same 784 quads as lesson 3, but now every vertex
// has a normal of its own: the average of the four small triangles around
// it.  A vertex shared by four cells gets the same normal in each of them,
// and smooth shading blends the light across each quad, so the tiles of
// lesson 3 disappear into one continuous surface.
#include "plotcore.h"

// The surface this lesson plots.
static const HeightFn HEIGHT = bumpHeight;

static void display()
{
    beginFrame(GL_SMOOTH);
    glColor3f(0.0f, 1.0f, 0.0f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

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
    });

    glutSwapBuffers();
}

int main(int argc, char** argv)
{
    return runLesson(argc, argv, "4. Smooth shaded graph", display);
}
