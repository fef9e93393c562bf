# Core.cmake - the flags of our own code and the plot core's libraries,
# declared once for the native build (CMakeLists.txt, core/) and the
# browser's (web/CMakeLists.txt).
#
#   VELMOR_CORE_<part>          the core's files of each part, relative to
#                               core/: plotcore, expression, plot (the
#                               axes' ticks and picking), glyphs (the
#                               labels' baked glyphs), modern (the
#                               shared code of the lessons drawn with
#                               buffers and shaders), functionplot (lesson
#                               9's plot, for the lessons after it), axes
#                               (lesson 10's axes and labels, for the
#                               lesson after it) and desktop (that
#                               part's OpenGL on the desktop; the browser
#                               has its own in web/modern/).
#   velmor_core_files(OUT PART...)  those parts' files, as paths under DIR
#                               (core/ unless DIR follows: CORE_DIR DIR).
#   velmor_core_library(NAME PART [SOURCE...])  a static library of the
#                               part's files (and SOURCEs), with core/ to
#                               include and our flags.
#   velmor_lesson_parts(OUT PROGRAM)  the parts a lesson of the registry
#                               is built with, by what it needs, and
#   velmor_lesson_libraries(OUT PROGRAM)  the libraries it links.
#
# Everything that lists the core's files takes them from here: the
# libraries, the installation (and so the Debian package and the Windows
# zip), the site's source pages and the copies the exercises' solutions
# are built from.  A new file of the core is one edit below.

set(VELMOR_CORE_DIR ${CMAKE_CURRENT_LIST_DIR}/../core)
get_filename_component(VELMOR_CORE_DIR ${VELMOR_CORE_DIR} ABSOLUTE)
set(VELMOR_CORE_plotcore plotcore.h plotcore_internal.h shell.cpp surface.cpp)
set(VELMOR_CORE_expression expression.h expression.cpp arguments.h arguments.cpp text.h text.cpp)
set(VELMOR_CORE_plot ticks.h ticks.cpp pick.h pick.cpp)
# The glyphs of the lessons that write text: the atlas's header and the
# program that bakes it while building; cmake/Glyphs.cmake makes their
# library, plotcore_glyphs.
set(VELMOR_CORE_glyphs glyphs.h glyphs/bake_glyphs.cpp)
set(VELMOR_CORE_modern modern.h modern.cpp orbit.h orbit.cpp)
# Lesson 9's plot of the learner's function, which lesson 9 teaches
# inline and the lessons after it take from here.
set(VELMOR_CORE_functionplot functionplot.h functionplot.cpp)
# Lesson 10's axes and labels, which lesson 10 teaches inline and the
# lesson after it takes from here.
set(VELMOR_CORE_axes axes.h axes.cpp)
# function_page.cpp and shader_page.cpp: a window of its own has no page
# to ask for a new function or new shaders (the browser's sides are
# web/function_page.cpp and web/shader_page.cpp).
set(VELMOR_CORE_desktop desktop/glplatform.h desktop/glplatform.cpp desktop/function_page.cpp
    desktop/shader_page.cpp)
# The context is asked for in the window system's own way.
if(WIN32)
    list(APPEND VELMOR_CORE_desktop desktop/context_windows.cpp)
else()
    list(APPEND VELMOR_CORE_desktop desktop/context_x11.cpp)
endif()

# Flags for our own code.  The coordinates and normals are exact float
# arithmetic in a fixed order: no fused multiply-add contraction, and
# never -ffast-math or -march=native, which would bring it back.
option(VELMOR_WERROR "Treat compiler warnings as errors" OFF)
add_library(velmor_flags INTERFACE)
if(MSVC)
    target_compile_options(velmor_flags INTERFACE /W4 /fp:precise $<$<BOOL:${VELMOR_WERROR}>:/WX>)
else()
    target_compile_options(velmor_flags INTERFACE -Wall -Wextra -ffp-contract=off
        $<$<BOOL:${VELMOR_WERROR}>:-Werror>)
endif()
if(VELMOR_SANITIZE)
    target_compile_options(velmor_flags INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(velmor_flags INTERFACE -fsanitize=address,undefined)
endif()

function(velmor_core_files out)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "CORE_DIR" "")
    if(NOT arg_CORE_DIR)
        set(arg_CORE_DIR ${VELMOR_CORE_DIR})
    endif()
    set(files)
    foreach(part IN LISTS arg_UNPARSED_ARGUMENTS)
        foreach(file IN LISTS VELMOR_CORE_${part})
            list(APPEND files ${arg_CORE_DIR}/${file})
        endforeach()
    endforeach()
    set(${out} ${files} PARENT_SCOPE)
endfunction()

function(velmor_core_library name part)
    velmor_core_files(files ${part})
    add_library(${name} STATIC ${files} ${ARGN})
    target_include_directories(${name} PUBLIC ${VELMOR_CORE_DIR})
    target_link_libraries(${name} PRIVATE velmor_flags)
endfunction()

# The core's parts a lesson of the registry is built with: plotcore; the
# modern part for one drawn with buffers and shaders (it needs gl33); the
# expression language for one that reads a function the learner types (it
# needs expression); lesson 9's plot, lesson 10's axes, the axes' numbers
# and picking, and the glyphs for one that writes text (it needs glyphs:
# the lessons that number lesson 9's plot).  Part P is the library
# plotcore_P (plotcore itself).
function(velmor_lesson_parts out program)
    set(parts plotcore)
    if("gl33" IN_LIST VELMOR_${program}_NEEDS)
        list(APPEND parts modern)
    endif()
    if("expression" IN_LIST VELMOR_${program}_NEEDS)
        list(APPEND parts expression)
    endif()
    if("glyphs" IN_LIST VELMOR_${program}_NEEDS)
        list(APPEND parts functionplot axes plot glyphs)
    endif()
    set(${out} ${parts} PARENT_SCOPE)
endfunction()

# The libraries of those parts, for target_link_libraries.
function(velmor_lesson_libraries out program)
    velmor_lesson_parts(parts ${program})
    list(TRANSFORM parts PREPEND plotcore_)
    list(TRANSFORM parts REPLACE "^plotcore_plotcore$" plotcore)
    set(${out} ${parts} PARENT_SCOPE)
endfunction()
