// glfix.cpp - repairs to the fixed-function OpenGL emulation of
// emscripten 3.1.6 (Debian 12's package, -sLEGACY_GL_EMULATION=1), so that
// the lessons draw in the browser what they draw natively.
//
// Compiled only into the browser build, in front of the emulation: the
// functions below take the names of the gl* calls they repair, so that a
// lesson's glBegin comes here, and reach the emulation's own through
// glfix.js (emulation_glBegin and so on).
// What this version of the emulation gets wrong, and what is done instead:
//
//   carried normal   a glNormal3f holds only for the next vertex, and a
//                    vertex without one garbles the vertex stream.  Every
//                    vertex is recorded here with the normal current then.
//   line mode        glPolygonMode is an empty stub.  Quads, triangles and
//                    polygons drawn in GL_LINE mode become their edges.
//   flat shading     glShadeModel is ignored.  With GL_FLAT every vertex of
//                    a face takes the normal and colour of the face's
//                    provoking vertex (the last of a quad or triangle, the
//                    first of a polygon).
//   colour material  glEnable(GL_COLOR_MATERIAL) is ignored.  While it is
//                    on, the current colour is the ambient and diffuse
//                    material, alpha included.
//   look-at          gluLookAt passes its arguments in the wrong order and
//                    leaves the matrix as it was.  It is written out here.
//
// Quads are split into triangles as Mesa's software rasteriser splits
// them: on the 0-2 diagonal when smooth, on the 1-3 diagonal when flat,
// which keeps the pictures closest to the native ones.  Points, lines,
// strips and fans go through as drawn, each vertex with its normal.
//
// When the emulation is fixed, the matching part here can go.  Configuring
// web/ with -DVELMOR_WEB_LEAVE_OUT=line-mode (or flat-shading,
// colour-material, look-at) switches that repair off, to see what it is
// for; the tests do so with line-mode.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

#ifndef VELMOR_WEB_LEAVE_OUT
#define VELMOR_WEB_LEAVE_OUT 0
#endif

// The repairs that can be left out, one bit each.
enum Repair { LINE_MODE = 1, FLAT_SHADING = 2, COLOUR_MATERIAL = 4, LOOK_AT = 8 };

static bool repaired(Repair repair)
{
    return (VELMOR_WEB_LEAVE_OUT & repair) == 0;
}

extern "C" {
void emulation_glBegin(GLenum mode);
void emulation_glEnd();
void emulation_glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void emulation_glNormal3f(GLfloat x, GLfloat y, GLfloat z);
void emulation_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void emulation_glEnable(GLenum cap);
void emulation_glDisable(GLenum cap);
void emulation_gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX,
                         GLdouble centerY, GLdouble centerZ, GLdouble upX, GLdouble upY,
                         GLdouble upZ);
}

namespace {

struct Vertex {
    GLfloat position[3];
    GLfloat normal[3];
    GLfloat colour[4];
};

// Outside glBegin/glEnd there is no primitive.
constexpr GLenum NO_PRIMITIVE = ~0u;

GLenum primitive = NO_PRIMITIVE;
std::vector<Vertex> vertices;
// OpenGL's initial current normal and colour.
Vertex current = {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}};
bool colourMaterial = false;
GLenum shadeModel = GL_SMOOTH;
GLenum polygonMode = GL_FILL;

// One vertex into the emulation, with everything that belongs to it.
void send(const Vertex& v, const Vertex& provoking)
{
    const Vertex& shade = shadeModel == GL_FLAT && repaired(FLAT_SHADING) ? provoking : v;
    emulation_glNormal3f(shade.normal[0], shade.normal[1], shade.normal[2]);
    emulation_glColor4f(shade.colour[0], shade.colour[1], shade.colour[2], shade.colour[3]);
    emulation_glVertex3f(v.position[0], v.position[1], v.position[2]);
}

// The faces of the recorded primitive, each as the indices of its corners,
// or nothing when the primitive is not made of faces.
std::vector<std::vector<size_t>> faces()
{
    const size_t size = primitive == GL_QUADS ? 4 : primitive == GL_TRIANGLES ? 3 : 0;
    std::vector<std::vector<size_t>> result;
    if (size > 0) {
        for (size_t first = 0; first + size <= vertices.size(); first += size) {
            std::vector<size_t> face;
            for (size_t i = 0; i < size; ++i) {
                face.push_back(first + i);
            }
            result.push_back(face);
        }
    } else if (primitive == GL_POLYGON && vertices.size() >= 3) {
        result.emplace_back();
        for (size_t i = 0; i < vertices.size(); ++i) {
            result.back().push_back(i);
        }
    }
    return result;
}

// The vertex whose normal and colour a flat-shaded face takes.
const Vertex& provokingVertex(const std::vector<size_t>& face)
{
    return vertices[primitive == GL_POLYGON ? face.front() : face.back()];
}

void drawFaces(const std::vector<std::vector<size_t>>& all)
{
    const bool flat = shadeModel == GL_FLAT && repaired(FLAT_SHADING);
    if (polygonMode == GL_LINE && repaired(LINE_MODE)) {
        emulation_glBegin(GL_LINES);
        for (const auto& face : all) {
            const Vertex& provoking = provokingVertex(face);
            for (size_t i = 0; i < face.size(); ++i) {
                send(vertices[face[i]], provoking);
                send(vertices[face[(i + 1) % face.size()]], provoking);
            }
        }
        emulation_glEnd();
        return;
    }
    emulation_glBegin(GL_TRIANGLES);
    for (const auto& face : all) {
        const Vertex& provoking = provokingVertex(face);
        if (face.size() == 4 && flat) {
            const size_t order[6] = {0, 1, 3, 1, 2, 3};
            for (size_t i : order) {
                send(vertices[face[i]], provoking);
            }
            continue;
        }
        for (size_t i = 1; i + 1 < face.size(); ++i) {
            send(vertices[face[0]], provoking);
            send(vertices[face[i]], provoking);
            send(vertices[face[i + 1]], provoking);
        }
    }
    emulation_glEnd();
}

} // namespace

extern "C" {

void glBegin(GLenum mode)
{
    primitive = mode;
    vertices.clear();
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    current.normal[0] = x;
    current.normal[1] = y;
    current.normal[2] = z;
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    current.colour[0] = r;
    current.colour[1] = g;
    current.colour[2] = b;
    current.colour[3] = a;
}

void glColor3f(GLfloat r, GLfloat g, GLfloat b)
{
    glColor4f(r, g, b, 1.0f);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    current.position[0] = x;
    current.position[1] = y;
    current.position[2] = z;
    vertices.push_back(current);
}

void glEnd()
{
    // The material is a uniform of the emulation's shader, read when the
    // primitive is drawn: the colour of the last vertex lights it all.
    // (A colour change between glBegin and glEnd is therefore lost; no
    // lesson makes one.)
    if (colourMaterial && repaired(COLOUR_MATERIAL)) {
        const GLfloat* colour = vertices.empty() ? current.colour : vertices.back().colour;
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, colour);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, colour);
    }
    const auto all = faces();
    if (!all.empty()) {
        drawFaces(all);
    } else if (!vertices.empty()) {
        emulation_glBegin(primitive);
        for (const Vertex& v : vertices) {
            send(v, v);
        }
        emulation_glEnd();
    }
    primitive = NO_PRIMITIVE;
    vertices.clear();
}

void glEnable(GLenum cap)
{
    if (cap == GL_COLOR_MATERIAL) {
        colourMaterial = true;
    }
    emulation_glEnable(cap);
}

void glDisable(GLenum cap)
{
    if (cap == GL_COLOR_MATERIAL) {
        colourMaterial = false;
    }
    emulation_glDisable(cap);
}

void glShadeModel(GLenum mode)
{
    shadeModel = mode;
}

void glPolygonMode(GLenum face, GLenum mode)
{
    // Nothing is culled, so the front faces' mode stands for both.
    if (face != GL_BACK) {
        polygonMode = mode;
    }
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ)
{
    if (!repaired(LOOK_AT)) {
        emulation_gluLookAt(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ);
        return;
    }
    // f points from the eye to the centre, s to the right, u up; the view
    // turns (s, u, -f) into the axes and then moves the eye to the origin.
    double f[3] = {centerX - eyeX, centerY - eyeY, centerZ - eyeZ};
    const double up[3] = {upX, upY, upZ};
    const auto normalise = [](double* v) {
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (length > 0.0) {
            v[0] /= length;
            v[1] /= length;
            v[2] /= length;
        }
    };
    normalise(f);
    double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2],
                   f[0] * up[1] - f[1] * up[0]};
    normalise(s);
    const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2],
                         s[0] * f[1] - s[1] * f[0]};
    const double eye[3] = {eyeX, eyeY, eyeZ};
    // Column-major, as glMultMatrixd takes it.
    GLdouble m[16] = {s[0], u[0], -f[0], 0.0, s[1], u[1], -f[1], 0.0,
                      s[2], u[2], -f[2], 0.0, 0.0,  0.0,  0.0,   1.0};
    for (int row = 0; row < 3; ++row) {
        m[12 + row] = -(m[row] * eye[0] + m[4 + row] * eye[1] + m[8 + row] * eye[2]);
    }
    glMultMatrixd(m);
}

} // extern "C"
