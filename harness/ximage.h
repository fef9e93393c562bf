// ximage.h - a window's pixels as XGetImage hands them over, as an Image:
// the harness's capture (lesson.cpp) and the frame shim's read them alike.
#ifndef LESSON_HARNESS_XIMAGE_H
#define LESSON_HARNESS_XIMAGE_H

#include "harness.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace harness {

// The picture of a TrueColor XImage, each channel scaled from the width of
// its mask to 0..255.
inline Image imageOf(XImage* picture)
{
    const auto channel = [](unsigned long value, unsigned long mask) {
        const int shift = mask == 0 ? 0 : __builtin_ctzl(mask);
        const unsigned long maximum = mask >> shift;
        return static_cast<std::uint8_t>(
            maximum == 0 ? 0 : (((value & mask) >> shift) * 255 + maximum / 2) / maximum);
    };
    Image result(picture->width, picture->height);
    forEachPixel(picture->width, picture->height, [&](int x, int y) {
        const unsigned long value = XGetPixel(picture, x, y);
        result.setPixel(x, y,
                        Rgb{channel(value, picture->red_mask), channel(value, picture->green_mask),
                            channel(value, picture->blue_mask)});
    });
    return result;
}

} // namespace harness

#endif
