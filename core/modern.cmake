# The plot core's part for the lessons drawn with buffers and shaders:
# the window with its checked context, the shader program, and the
# desktop's OpenGL (GLEW, found by the top level with GLM).  Only those
# lessons link it, so lessons 3 to 7 gain no library.  The browser build
# compiles modern.cpp with its own glplatform.h (web/modern/) instead.
# On an X display GLX refuses a context it lacks with an X error;
# wglCreateContextAttribsARB on Windows by returning none.
velmor_core_files(desktop desktop)
velmor_core_library(plotcore_modern modern ${desktop})
if(NOT WIN32)
    find_package(X11 REQUIRED)
    target_link_libraries(plotcore_modern PRIVATE X11::X11)
endif()
target_include_directories(plotcore_modern PUBLIC ${CMAKE_CURRENT_LIST_DIR}/desktop)
target_link_libraries(plotcore_modern PUBLIC plotcore GLEW::GLEW glm::glm)

# Lesson 9's plot of the learner's function, and lesson 10's axes and
# labels, for the lessons after them.
velmor_core_library(plotcore_functionplot functionplot)
target_link_libraries(plotcore_functionplot PUBLIC plotcore_modern plotcore_expression)
velmor_core_library(plotcore_axes axes)
target_link_libraries(plotcore_axes PUBLIC plotcore_functionplot plotcore_plot)
