# Packaging.cmake - what `cmake --install` puts beside the programs,
# and the Debian package that CPack makes of the whole installation.
#
#   cmake --install build --prefix /usr/local     programs and guide
#   (cd build && cpack)                           build/velmor_<version>-1_<arch>.deb
#
# The guide goes to share/doc/velmor/ with the same layout as in the
# repository (README.md, docs/, lessons/, core/), so that its links to
# pictures and to the quoted sources work where it is installed too.
include(GNUInstallDirs)

# Each lesson's picture, docs/velmorN.png, and the guide's other ones.
set(VELMOR_GUIDE_PICTURES)
foreach(lesson IN LISTS VELMOR_REGISTRY)
    list(APPEND VELMOR_GUIDE_PICTURES docs/${lesson}.png)
endforeach()
list(APPEND VELMOR_GUIDE_PICTURES
    docs/gallery.png
    docs/velmor7-behind.png
    docs/velmor7-behind-no-depth.png
    docs/velmor8.png
    docs/facets.png
    docs/normals.png
    docs/order.png
    docs/unlifted.png
    docs/grid-zoom.png
    docs/web.png)

install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The labels' glyphs (lesson 10 on) are DejaVu Sans, compiled into the
# programs: the font's licence goes with them.
if(VELMOR_HAVE_glyphs)
    install(FILES ${VELMOR_GLYPH_LICENCE} DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME LICENSE.DejaVu)
endif()
if(NOT WIN32)
    # Where Debian looks for a package's licence.
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
endif()
# The diagrams the guide draws as text (SVG), beside its pictures.
file(GLOB VELMOR_GUIDE_DIAGRAMS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.svg)
install(FILES docs/lessons.md docs/teaching.md docs/pictures.txt ${VELMOR_GUIDE_PICTURES}
    ${VELMOR_GUIDE_DIAGRAMS}
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES docs/figures/normals.gp docs/figures/order.gp
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs/figures)
# The exercises' solutions and their pictures, which the guide links.
file(GLOB VELMOR_EXERCISES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/docs/exercises/*.patch ${PROJECT_SOURCE_DIR}/docs/exercises/*.png)
install(FILES ${VELMOR_EXERCISES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs/exercises)
# The sources the guide quotes: a learner reads them next to it.
foreach(lesson IN LISTS VELMOR_LESSONS)
    install(FILES lessons/${lesson}.cpp DESTINATION ${CMAKE_INSTALL_DOCDIR}/lessons)
endforeach()
# The core's parts the built lessons use, with their layout under core/.
set(parts)
foreach(lesson IN LISTS VELMOR_LESSONS)
    velmor_lesson_parts(lesson_parts ${lesson})
    list(APPEND parts ${lesson_parts})
endforeach()
if(modern IN_LIST parts)
    list(APPEND parts desktop)
endif()
list(REMOVE_DUPLICATES parts)
foreach(part IN LISTS parts)
    foreach(file IN LISTS VELMOR_CORE_${part})
        get_filename_component(folder core/${file} DIRECTORY)
        install(FILES core/${file} DESTINATION ${CMAKE_INSTALL_DOCDIR}/${folder})
    endforeach()
endforeach()

# --- the Debian package -------------------------------------------------------

# Whoever publishes the package puts their own address here; ".invalid"
# says plainly that the default reaches nobody.
set(VELMOR_PACKAGE_MAINTAINER "velmor developers <velmor-developers@invalid>"
    CACHE STRING "Maintainer field of the Debian package")

if(WIN32)
    # scripts/windows: a zip that unpacks to one folder holding the
    # programs beside the README, the licence and the guide.
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win64)
else()
    set(CPACK_GENERATOR DEB)
endif()
set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELMOR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian wants the long description in lines of under 80 characters; CPack
# indents each line for the control file.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Nine small programs, velmor3 to velmor11, each one step in drawing a\n"
    "function of two variables as a lit 3-D surface with freeglut, GLU and\n"
    "fixed-function OpenGL: flat shading, smooth shading with averaged vertex\n"
    "normals, a domain grid under the surface, a translucent surface\n"
    "blended over the grid, and a depth buffer with a camera the learner\n"
    "turns with the keys and the mouse; then the same picture drawn with a\n"
    "vertex buffer and shaders in an OpenGL 3.3 core profile, a function\n"
    "the learner types, fitted into the view and coloured by height, and\n"
    "last the same plot with numbered axes and a numbered colour key.\n"
    "\n"
    "The guide in /usr/share/doc/velmor/docs/lessons.md explains every step,\n"
    "with the lesson sources and pictures of what each program draws.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (from dpkg-dev) reads the libraries the programs link and
# writes Depends with the right package names and versions for this
# release: freeglut, GLU, libGL, the C and C++ runtimes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
if(NOT WIN32)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/out/")

include(CPack)
