// Lesson 6: using transparency.
//
// The surface and grid of lesson 5, but the surface is now translucent:
// alpha 0.75 and blending let the grid and the far slopes of the bump show
// through.  Blending mixes a fragment with what is already in the frame,
// so whatever should show through must be drawn before what covers it.
#include "plotcore.h"

// The surface this lesson plots: the bump of lesson 4 on a plinth of 1.
static const HeightFn HEIGHT = raisedBumpHeight;

// Three quarters surface, one quarter whatever lies behind it.
static constexpr GLfloat SURFACE_ALPHA = 0.75f;

static void display()
{
    beginFrame(GL_SMOOTH);
    // result = alpha * surface + (1 - alpha) * what the frame holds
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

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

        // The cell's outline first.  Any surface in front of a grid line
        // belongs to this cell's successors, which are drawn later and
        // blended over the line: the grid shows through, tinted green.
        // Within one cell the order changes no pixel, since a cell's own
        // surface never covers its own outline; outline first just keeps
        // to the rule.
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glColor3f(0.0f, 0.0f, 0.0f);
        glBegin(GL_QUADS);
            glVertex3f(x, y, 0.0f);
            glVertex3f(x1, y, 0.0f);
            glVertex3f(x1, y1, 0.0f);
            glVertex3f(x, y1, 0.0f);
        glEnd();

        // Then the surface.  With colour material on, the alpha of this
        // colour becomes the material's, so every lit fragment carries it.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glColor4f(0.0f, 1.0f, 0.0f, SURFACE_ALPHA);
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
    return runLesson(argc, argv, "6. Using transparency", display);
}
