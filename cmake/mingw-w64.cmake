# mingw-w64.cmake - cross-builds for 64-bit Windows with Debian's
# mingw-w64 toolchain (g++-mingw-w64-x86-64-win32): scripts/windows-libraries
# uses it for freeglut, built from its source as a static library, and
# scripts/windows for the lessons, linked against that library.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DVELMOR_FREEGLUT_ROOT=<where freeglut is installed>
#
# Everything the Windows build needs beyond a plain configure is here, so
# that no source file carries a Windows branch.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMOR_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELMOR_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${VELMOR_MINGW_TRIPLET}-windres)

# Headers and libraries come from the mingw-w64 tree and from the
# freeglut built for it, never from the host's /usr.
set(VELMOR_FREEGLUT_ROOT "" CACHE PATH "Where the static Windows freeglut is installed")
set(CMAKE_FIND_ROOT_PATH /usr/${VELMOR_MINGW_TRIPLET} ${VELMOR_FREEGLUT_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# FindGLUT asks pkg-config first, which would hand it the host's glut.pc:
# let it see only the Windows freeglut's.
if(VELMOR_FREEGLUT_ROOT)
    set(ENV{PKG_CONFIG_LIBDIR} "${VELMOR_FREEGLUT_ROOT}/lib/pkgconfig")
else()
    set(ENV{PKG_CONFIG_LIBDIR} "")
endif()
set(ENV{PKG_CONFIG_PATH} "")

# The programs import only Windows' own DLLs: the GCC and C++ runtimes
# are linked in rather than shipped beside them as DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# freeglut and GLEW as static libraries: their headers must know
# (FREEGLUT_STATIC, GLEW_STATIC, or they declare the functions as DLL
# imports), and what they call in Windows must follow them on every link
# line.  Built with FREEGLUT_REPLACE_GLUT the library is libglut.a beside
# GL/glut.h, which FindGLUT finds; scripts/windows-libraries puts
# glew32s.lib and GL/glew.h beside them, for FindGLEW.
if(VELMOR_FREEGLUT_ROOT)
    set(CMAKE_CXX_FLAGS_INIT "-DFREEGLUT_STATIC -DGLEW_STATIC")
    set(GLEW_USE_STATIC_LIBS ON)
    set(CMAKE_CXX_STANDARD_LIBRARIES
        "-lopengl32 -lwinmm -lgdi32 -luser32 -lkernel32 -ladvapi32" CACHE STRING "" FORCE)
endif()

# The installed layout (and so the zip that CPack makes of it) is one
# folder: the programs next to the README, the licence and the guide.
set(CMAKE_INSTALL_BINDIR "." CACHE PATH "Where the programs go")
set(CMAKE_INSTALL_DOCDIR "." CACHE PATH "Where the guide goes")
