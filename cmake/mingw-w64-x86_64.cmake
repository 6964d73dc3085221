# Cross build for 64-bit Windows with Debian's MinGW-w64 (packages g++-mingw-w64-x86-64-posix and
# binutils-mingw-w64-x86-64):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The "posix" flavour of the compiler is the one whose C++ library has std::thread and
# std::mutex (on winpthreads); the "win32" flavour has neither. Everything is linked statically,
# so the programs need no MinGW DLLs beside them. cmake/WindowsCross.cmake (included by the
# top-level CMakeLists.txt) adds what such a build needs from the build machine: GoogleTest
# built from its sources, the header-only CLI11, and Wine to run the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAMRIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAMRIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMRIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMRIX_MINGW_PREFIX}-windres)

# Libraries and headers come from the MinGW tree only, never from the build machine's /usr; its
# programs (windres, wine, python) are found as usual.
set(CMAKE_FIND_ROOT_PATH /usr/${TAMRIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
