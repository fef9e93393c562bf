// gui_support.h - what the picture and call-stream tests share: the four
// lessons, one virtual display per test program, keys to press, and
// keeping the picture of a failed check for a person to look at.
#ifndef GUI_SUPPORT_H
#define GUI_SUPPORT_H

#include "harness.h"
#include "scene.h"

#include <ostream>
#include <string>
#include <vector>

namespace gui {

// The window every lesson asks for.
constexpr int WINDOW_SIZE = 500;
// The grid has 28 x 28 cells: 29 coordinates per axis.
constexpr int CELLS_PER_SIDE = 28;

struct LessonInfo {
    const char* name;
    const char* program;
    const char* title;
    scene::Surface surface;
};

// The titles come from the registry, lessons/lessons.txt (lessons_built.h).
inline const LessonInfo LESSON3 = {"velmor3", VELMOR3_PROGRAM, VELMOR3_TITLE, scene::bump};
inline const LessonInfo LESSON4 = {"velmor4", VELMOR4_PROGRAM, VELMOR4_TITLE, scene::bump};
inline const LessonInfo LESSON5 = {"velmor5", VELMOR5_PROGRAM, VELMOR5_TITLE, scene::raisedBump};
inline const LessonInfo LESSON6 = {"velmor6", VELMOR6_PROGRAM, VELMOR6_TITLE, scene::raisedBump};
inline const LessonInfo ALL_LESSONS[] = {LESSON3, LESSON4, LESSON5, LESSON6};

// GoogleTest prints a lesson parameter by its name, and names its cases
// so (testing::PrintToStringParamName).
inline std::ostream& operator<<(std::ostream& out, const LessonInfo& lesson)
{
    return out << lesson.name;
}

// One Xvfb for the whole test program, started on first use and stopped
// when the program ends.  If it cannot start, every test that needs it
// fails with the reason (e.g. the package to install).
inline harness::VirtualDisplay& sharedDisplay()
{
    static harness::VirtualDisplay display; // tried again on the next use if it throws
    return display;
}

// Writes the picture as <name>.ppm next to the test program and returns a
// sentence pointing at it, for a failure message.
inline std::string keepPicture(const harness::Image& image, const std::string& name)
{
    const std::string path = std::string(GUI_PICTURE_DIR) + "/" + name + ".ppm";
    image.writePpm(path);
    return "picture kept in " + path;
}

// xdotool's words for pressing `key` `times` times, without its default
// pause between keys.
inline std::vector<std::string> press(const std::string& key, int times = 1)
{
    std::vector<std::string> words = {"key", "--delay", "0"};
    words.insert(words.end(), static_cast<std::size_t>(times), key);
    return words;
}

} // namespace gui

#endif
