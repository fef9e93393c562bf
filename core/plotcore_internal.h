// plotcore_internal.h - parts of the plot core that the lessons never call
// directly but the tests want to reach.
#ifndef PLOTCORE_INTERNAL_H
#define PLOTCORE_INTERNAL_H

// The toolkit's reshape callback: camera, projection and viewport for a
// window whose drawing area is width x height pixels.
void reshape(int width, int height);

#endif
