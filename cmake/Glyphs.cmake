# Glyphs.cmake - the labels' glyphs, baked while building (core/glyphs.h).
#
#   include(cmake/Glyphs.cmake)
#   velmor_glyph_atlas(TARGET)   # a static library defining GLYPH_ATLAS
#
# It sets VELMOR_HAVE_glyphs, and VELMOR_WHY_NOT_glyphs where the font or
# stb_truetype is missing, for the lessons that need them.  The baker runs
# on the machine that builds, so a cross build (Windows, the browser)
# builds it apart with the host's compiler.  VELMOR_GLYPH_LICENCE is the
# font's licence, which goes wherever the programs go.
set(VELMOR_GLYPH_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../core/glyphs)
# The labels' size in pixels: the digits 11 pixels tall, as a plot's
# axis numbers usually are.
set(VELMOR_GLYPH_PIXELS 15)

# The host's files, also when the toolchain looks only in its own tree.
find_file(VELMOR_GLYPH_FONT DejaVuSans.ttf
    PATHS /usr/share/fonts/truetype/dejavu /usr/share/fonts/dejavu /usr/share/fonts/TTF
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_file(VELMOR_GLYPH_LICENCE copyright PATHS /usr/share/doc/fonts-dejavu-core
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(VELMOR_STB_DIR stb/stb_truetype.h PATHS /usr/include /usr/local/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

set(VELMOR_HAVE_glyphs OFF)
if(NOT VELMOR_GLYPH_FONT OR NOT VELMOR_GLYPH_LICENCE)
    set(VELMOR_WHY_NOT_glyphs "the font DejaVu Sans and its licence (fonts-dejavu-core on Debian/Ubuntu)")
elseif(NOT VELMOR_STB_DIR)
    set(VELMOR_WHY_NOT_glyphs "stb_truetype (libstb-dev on Debian/Ubuntu)")
else()
    set(VELMOR_HAVE_glyphs ON)
endif()

function(velmor_glyph_atlas target)
    if(NOT VELMOR_HAVE_glyphs)
        return()
    endif()
    if(NOT CMAKE_CROSSCOMPILING)
        add_subdirectory(${VELMOR_GLYPH_SOURCE} ${CMAKE_BINARY_DIR}/glyph-baker)
        set(baker $<TARGET_FILE:bake_glyphs>)
        set(baker_target bake_glyphs)
    else()
        find_program(VELMOR_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH)
        if(NOT VELMOR_HOST_CXX)
            message(FATAL_ERROR "No C++ compiler for the machine that builds was found, which "
                "bakes the labels' glyphs: install g++.")
        endif()
        include(ExternalProject)
        set(baker ${CMAKE_BINARY_DIR}/glyph-baker/bake_glyphs)
        ExternalProject_Add(glyph_baker
            SOURCE_DIR ${VELMOR_GLYPH_SOURCE}
            BINARY_DIR ${CMAKE_BINARY_DIR}/glyph-baker
            CMAKE_ARGS -DCMAKE_CXX_COMPILER=${VELMOR_HOST_CXX} -DCMAKE_BUILD_TYPE=Release
                -DVELMOR_STB_DIR=${VELMOR_STB_DIR}
            INSTALL_COMMAND ""
            BUILD_BYPRODUCTS ${baker})
        set(baker_target glyph_baker)
    endif()
    set(atlas ${CMAKE_BINARY_DIR}/glyph_atlas.cpp)
    add_custom_command(OUTPUT ${atlas}
        COMMAND ${baker} ${VELMOR_GLYPH_FONT} ${VELMOR_GLYPH_PIXELS} ${atlas}
        DEPENDS ${baker_target} ${VELMOR_GLYPH_FONT}
        COMMENT "Baking the labels' glyphs from DejaVu Sans"
        VERBATIM)
    add_library(${target} STATIC ${VELMOR_GLYPH_SOURCE}/../glyphs.h ${atlas})
    target_include_directories(${target} PUBLIC ${VELMOR_GLYPH_SOURCE}/..)
    target_link_libraries(${target} PRIVATE velmor_flags)
endfunction()
