// orbit.h - lesson 7's camera, for the lessons after it.
//
// Lesson 7 teaches the orbiting camera: the eye at an azimuth, an
// elevation and a distance from the origin, turned with the arrow keys
// and the mouse, moved in and out with + and - and the wheel, always
// looking at the origin with +z up.  The lessons after it keep that
// camera as it is, behind these two calls, and spend their lines on what
// they add.  Its bounds are lesson 7's: up to 85 degrees above or below
// the square, from 8 to 22 units away.
#ifndef ORBIT_H
#define ORBIT_H

#include <glm/glm.hpp>

// Registers the keyboard, arrow key, mouse and drag callbacks that move
// the camera: arrows and a drag turn it, + (or =), - and the wheel move it
// in and out, r puts it back at the start, each with one redraw.  Every
// key, the camera's or not, is then handed to lessonKey, so that a lesson
// adds keys of its own (and its own part of r) without the camera's.
void orbitWithInput(void (*lessonKey)(unsigned char key));

// Where the eye is now.  It starts at (10, 10, 10), exactly.
glm::dvec3 orbitEye();

// Hands lessonRelease the place where the left button is let go, in
// window pixels from the top left, and whether it was a click: pressed
// and let go with no drag between (a drag turns the camera).
void orbitReleases(void (*lessonRelease)(int x, int y, bool click));

#endif
