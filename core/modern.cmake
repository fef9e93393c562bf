# The plot core's part for the lessons drawn with buffers and shaders:
# the window with its checked context, the shader program, and the
# desktop's OpenGL (GLEW, found by the top level with GLM).  Only those
# lessons link it, so lessons 3 to 7 gain no library.  The browser build
# compiles modern.cpp with its own glplatform.h (web/modern/) instead.
add_library(plotcore_modern STATIC
    ${CMAKE_CURRENT_LIST_DIR}/modern.h
    ${CMAKE_CURRENT_LIST_DIR}/modern.cpp
    ${CMAKE_CURRENT_LIST_DIR}/orbit.h
    ${CMAKE_CURRENT_LIST_DIR}/orbit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/desktop/glplatform.h
    ${CMAKE_CURRENT_LIST_DIR}/desktop/glplatform.cpp
    ${CMAKE_CURRENT_LIST_DIR}/desktop/function_page.cpp)
if(WIN32)
    # wglCreateContextAttribsARB refuses a context it lacks by returning none.
    target_sources(plotcore_modern PRIVATE ${CMAKE_CURRENT_LIST_DIR}/desktop/context_windows.cpp)
else()
    # On an X display GLX refuses a context it lacks with an X error.
    target_sources(plotcore_modern PRIVATE ${CMAKE_CURRENT_LIST_DIR}/desktop/context_x11.cpp)
    find_package(X11 REQUIRED)
    target_link_libraries(plotcore_modern PRIVATE X11::X11)
endif()
target_include_directories(plotcore_modern
    PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/desktop)
target_link_libraries(plotcore_modern
    PUBLIC plotcore GLEW::GLEW glm::glm
    PRIVATE velmor_flags)
