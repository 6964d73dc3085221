# The resources every Windows program of ours carries: the version resource (file and product
# version from the project's version, the company and product names) and a manifest that asks for
# the user's own rights ("asInvoker"), so the program never asks for elevation.
#
#   tamrix_windows_resources(<target> [MANIFEST <file>])
#
# MANIFEST names another manifest (the dialog program's adds the common controls and DPI
# awareness). Does nothing on other systems.
function(tamrix_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(R "" "MANIFEST" "" ${ARGN})
  set(TAMRIX_RC_TARGET ${target})
  set(TAMRIX_RC_FILE_NAME ${target}.exe)
  set(TAMRIX_RC_MANIFEST ${PROJECT_SOURCE_DIR}/resources/windows/tamrix.manifest)
  if(R_MANIFEST)
    set(TAMRIX_RC_MANIFEST ${R_MANIFEST})
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # windres does not see the manifest as a dependency of the resource script.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${TAMRIX_RC_MANIFEST})
endfunction()
