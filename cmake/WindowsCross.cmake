# What a Windows build made on Linux with MinGW-w64 (cmake/mingw-w64-x86_64.cmake) takes from the
# build machine, included from the top-level CMakeLists.txt before any target is made:
#
# - CLI11 and nlohmann-json are header-only: their headers from /usr/include are made visible
#   through folders of their own, so that the cross compiler never sees the rest of the build
#   machine's /usr/include.
# - GoogleTest is not packaged for MinGW: it is built from Debian's sources (/usr/src/googletest,
#   package googletest) with the cross compiler, as static libraries; its own CMake files name
#   them GTest::gtest, GTest::gtest_main and GTest::gmock, as find_package does.
# - The test programs run under Wine: ctest starts them through build-dir/run-wine, which keeps
#   Wine's prefix in the build folder and its debug chatter off. Tests are listed when they run,
#   not at build time, so building needs no Wine.
#
# The simulated product lives on pseudo-terminals and the benchmarks on POSIX processes: neither
# is built here. Nor is the dialog program: it takes Qt 6 Widgets built for Windows (MinGW or
# MSVC), with which the same sources build as they are (Qt is looked for as on Linux).

set(TAMRIX_CLI11_HEADERS /usr/include/CLI CACHE PATH "CLI11's header folder on the build machine")
if(NOT EXISTS ${TAMRIX_CLI11_HEADERS}/CLI.hpp)
  message(FATAL_ERROR "CLI11 not found in ${TAMRIX_CLI11_HEADERS} (Debian package libcli11-dev)")
endif()
set(tamrix_cli11_root ${CMAKE_BINARY_DIR}/host-headers/cli11)
file(MAKE_DIRECTORY ${tamrix_cli11_root})
file(CREATE_LINK ${TAMRIX_CLI11_HEADERS} ${tamrix_cli11_root}/CLI SYMBOLIC)
set(CLI11_INCLUDE_DIR ${tamrix_cli11_root} CACHE PATH "CLI11 headers for the cross build" FORCE)

# nlohmann-json, header-only too, the same way.
set(TAMRIX_NLOHMANN_JSON_HEADERS /usr/include/nlohmann CACHE PATH
    "nlohmann-json's header folder on the build machine")
if(NOT EXISTS ${TAMRIX_NLOHMANN_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann-json not found in ${TAMRIX_NLOHMANN_JSON_HEADERS} "
                      "(Debian package nlohmann-json3-dev)")
endif()
set(tamrix_json_root ${CMAKE_BINARY_DIR}/host-headers/nlohmann-json)
file(MAKE_DIRECTORY ${tamrix_json_root})
file(CREATE_LINK ${TAMRIX_NLOHMANN_JSON_HEADERS} ${tamrix_json_root}/nlohmann SYMBOLIC)
set(NLOHMANN_JSON_INCLUDE_DIR ${tamrix_json_root} CACHE PATH "nlohmann-json headers for the cross build"
    FORCE)

if(TAMRIX_BUILD_TESTS)
  set(TAMRIX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
  if(NOT EXISTS ${TAMRIX_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${TAMRIX_GOOGLETEST_SOURCE} "
                        "(Debian package googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_SHARED_LIBS OFF)
  add_subdirectory(${TAMRIX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  find_program(TAMRIX_WINE NAMES wine wine64 PATHS /usr/lib/wine)
  if(TAMRIX_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(tamrix_wine_run ${CMAKE_BINARY_DIR}/run-wine)
    file(WRITE ${tamrix_wine_run}
         "#!/bin/sh\n"
         "# Runs a Windows program of this build under Wine, in this build's own Wine prefix.\n"
         "export WINEPREFIX=\"\${WINEPREFIX:-${CMAKE_BINARY_DIR}/wine-prefix}\"\n"
         "export WINEDEBUG=\"\${WINEDEBUG:--all}\"\n"
         "exec \"${TAMRIX_WINE}\" \"$@\"\n")
    file(CHMOD ${tamrix_wine_run} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${tamrix_wine_run})
  endif()
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
