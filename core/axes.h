// axes.h - lesson 10's axes and labels, for the lessons after it.
//
// Lesson 10 teaches them inline: x and y numbered along two sides of the
// square and f up one of its corners, the sides and the corner chosen
// from the camera every frame; nice ticks from the plot's fitted range,
// the colour key numbered as the f axis; each label a row of quads that
// take their glyphs from a texture of the baked font (glyphs.h), placed
// only where it overlaps no label placed before it.  Lesson 11 keeps all
// of that as it is, behind these names, and adds its own lines and
// labels to the same frame.
//
// A frame: clearAxesAndLabels, the lesson's own labels that must have
// room first, layOutAxes, the lesson's own lines in the window's
// coordinates; then, drawing, uploadAxisLines and the lesson's draws of
// them with its own program, and drawLabels last.  Nothing is allocated
// in a frame.
#ifndef AXES_H
#define AXES_H

#include "functionplot.h"
#include "ticks.h"

#include <glm/glm.hpp>

// A label's box in window pixels, from its bottom left.
struct Box {
    float left, bottom, right, top;
};

// The longest label, in bytes with its end.
constexpr int MAX_LABEL_LENGTH = 24;

// Makes the lines' buffer, with room for the axes and extraVertices more,
// and the labels' program, atlas texture and buffer, with room for the
// axes' labels and extraLabels more.  The lines' vertex array holds
// Vertex, as the plot's does (describeVertices), for the lesson's own
// program to draw.  Once, after the window is open.
void makeAxesAndLabels(int extraVertices, int extraLabels);

// The axes' ticks from the plot's fitted range: on each new plot.
void numberAxes(const FunctionPlot& plot);

// The window's size in pixels, from the lesson's reshape.
void labelWindow(float width, float height);

// Starts a frame with no lines and no labels.
void clearAxesAndLabels();

// The axes and their numbers for the camera at eye, toScreen being
// projection times view, around the labels already placed; then the
// colour key's ticks, from keyMarksFrom() on, in the window's own
// coordinates (-1 to 1).
void layOutAxes(const glm::dvec3& eye, const glm::mat4& toScreen, const FunctionPlot& plot);

// Where a point of the scene lands in the window, in pixels from its
// bottom left corner.
glm::vec2 onScreen(const glm::mat4& toScreen, const glm::vec3& p);

// A line, or one vertex of a lesson's own triangles, after those laid
// out so far; left out where the buffer has no room.
void addLine(const glm::vec3& a, const glm::vec3& b);
void addVertex(const glm::vec3& p);

// How many vertices the lines hold so far, and where the key's ticks
// start among them.
GLsizei axisVertexCount();
GLsizei keyMarksFrom();

// The box text takes with its anchor at (x, y): align 0 puts the anchor
// at the text's left (or bottom) edge, 1 at its right (or top), 0.5 in
// the middle; moved into the window and onto whole pixels.
Box labelBox(const char* text, float x, float y, float alignX, float alignY);

// Whether box keeps clear of every label placed in this frame.
bool clearOfOthers(const Box& box);

// Places text in box, whether or not it is clear of the others.
void addText(const char* text, const Box& box);

// Binds the lines' vertex array and hands it the frame's lines, for the
// lesson to draw with its own program.
void uploadAxisLines();

// Draws the frame's labels over everything, blended, with no depth test,
// and leaves their program in use and blending off.
void drawLabels();

#endif
